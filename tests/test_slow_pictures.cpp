// Pictures that name another server: a local folder whose shortcuts,
// Internet shortcut and desktop.ini name the slow drive as the share
// \\qvslow\share (with-slow-drive.sh) is listed, pictures and all, without
// one operation on that share, even while it is dead; a listing nobody
// waits for any more stops looking up pictures; type pictures are shared.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"
#include "listing/item_pictures.h"
#include "listing/listing_job.h"
#include "mixed_folder.h"
#include "popup.h"
#include "slow_drive.h"
#include "test_support.h"

namespace {

class SlowPictures : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(drive.available()) << drive.why_not();
        ASSERT_FALSE(drive.share().empty()) << "QV_SLOW_SHARE is not set";
        wchar_t system[MAX_PATH];
        GetSystemDirectoryW(system, MAX_PATH);
        ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\notepad.exe").c_str(),
                              drive.backing_path(L"tool.exe").c_str(), FALSE));
        ASSERT_TRUE(write_file(drive.backing_path(L"icon.ico"), ico_file(0xFF0000FFu)));
        ASSERT_TRUE(make_dir(drive.backing_path(L"shared")));
    }
    // A local folder whose items name the share for their target or icon.
    void make_pointing_folder(const std::wstring &dir)
    {
        const std::wstring icon = drive.share_path(L"icon.ico");
        ASSERT_TRUE(make_dir(dir));
        ASSERT_TRUE(write_file(dir + L"\\note.txt", "text"));
        ASSERT_TRUE(make_shortcut(dir + L"\\tool.lnk", drive.share_path(L"tool.exe")));
        ASSERT_TRUE(make_shortcut(dir + L"\\shared.lnk", drive.share_path(L"shared")));
        ASSERT_TRUE(make_shortcut(dir + L"\\painted.lnk", dir + L"\\note.txt", icon));
        ASSERT_TRUE(write_file(dir + L"\\page.url", "[InternetShortcut]\r\nURL=http://example.invalid/\r\nIconFile=" +
                                                        std::string(icon.begin(), icon.end()) + "\r\nIconIndex=0\r\n"));
        ASSERT_TRUE(make_dir(dir + L"\\custom"));
        ASSERT_TRUE(write_file(dir + L"\\custom\\desktop.ini",
                               "[.ShellClassInfo]\r\nIconResource=" + std::string(icon.begin(), icon.end()) + ",0\r\n"));
        ASSERT_TRUE(SetFileAttributesW((dir + L"\\custom").c_str(), FILE_ATTRIBUTE_SYSTEM));
    }
    // Making the shortcuts looked at the share; the kernel may pass on the
    // last of it (the release of a handle) a moment later.  The count
    // starts once the share is quiet.
    void count_from_quiet()
    {
        for (int i = 0; i < 20; i++) {
            ASSERT_TRUE(drive.reset_operations());
            Sleep(100);
            if (drive.operations() == 0)
                return;
        }
    }
    slow_drive drive;
};

const int pointing_entries = 6;

TEST_F(SlowPictures, ListingReachesNoOtherServer)
{
    temp_dir local;
    make_pointing_folder(local / L"pointing");
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    // On the calling thread, and on a worker within the default limit.
    for (DWORD limit : {0u, 5000u}) {
        count_from_quiet();
        qv_shellex *ext = listed_object_for(local / L"pointing");
        ext->config.ListingTimeLimit = limit;
        HMENU menu = CreatePopupMenu();
        ASSERT_EQ((UINT)pointing_entries + 10, (UINT)HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, 0)));
        SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
        for (UINT64 i = 0; i < ext->list.entry_count; i++) {
            EXPECT_NE(QV_NO_ICON, ext->list.entries[i].icon) << limit << " " << testing::PrintToString(list_name(&ext->list, i));
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_BITMAP;
            EXPECT_TRUE(GetMenuItemInfoW(menu, (UINT)(100 + i), FALSE, &info) && info.hbmpItem) << limit << " " << i;
        }
        DestroyMenu(menu);
        ext->Release();
        ASSERT_TRUE(listing_workers_end());
        EXPECT_EQ(0, drive.operations()) << "limit " << limit << ": the share was reached for a picture";
    }
    DestroyWindow(owner);
}

TEST_F(SlowPictures, DeadServerLeavesLocalFoldersWhole)
{
    temp_dir local;
    make_pointing_folder(local / L"pointing1");
    make_pointing_folder(local / L"pointing2");
    ASSERT_TRUE(make_dir(local / L"healthy"));
    for (int i = 0; i < 20; i++)
        ASSERT_TRUE(write_file(local / (L"healthy\\file" + std::to_wstring(i) + L".txt")));
    count_from_quiet();
    ASSERT_TRUE(drive.block(60000));
    qv_config config = default_settings();
    qv_listing_rules rules = listing_rules(&config, 0);
    for (int click = 0; click < 4; click++) {
        qv_item_list list = {};
        std::wstring folder = local / (L"pointing" + std::to_wstring(1 + click % 2));
        EXPECT_EQ(qv_listing_listed, list_in_time(folder.c_str(), INVALID_FILE_ATTRIBUTES, &rules, deadline_after(300), &list));
        EXPECT_EQ((UINT64)pointing_entries, list.entry_count) << click;
        list_clear(&list);
    }
    qv_item_list healthy = {};
    EXPECT_EQ(qv_listing_listed,
              list_in_time((local / L"healthy").c_str(), INVALID_FILE_ATTRIBUTES, &rules, deadline_after(5000), &healthy));
    EXPECT_EQ(20u, healthy.entry_count);
    list_clear(&healthy);
    EXPECT_EQ(0, drive.operations()) << "the dead share was reached";
    EXPECT_TRUE(drive.unblock());
    EXPECT_TRUE(listing_workers_end());
}

// A folder of `count` icon files of their own colours behind the drive.
void make_icon_folder(const slow_drive &drive, const std::wstring &name, int count, unsigned seed)
{
    ASSERT_TRUE(make_dir(drive.backing_path(name)));
    for (int i = 0; i < count; i++)
        ASSERT_TRUE(write_file(drive.backing_path(name + L"\\p" + std::to_wstring(i) + L".ico"),
                               ico_file(0xFF000000u | (seed * 977u + (unsigned)i * 131u))));
}

TEST_F(SlowPictures, AbandonedListingStopsItsPictures)
{
    const int count = 40;
    make_icon_folder(drive, L"abandoned", count, 1);
    make_icon_folder(drive, L"held", count, 2);
    ASSERT_TRUE(drive.set_delay(2));
    qv_config config = default_settings();
    qv_listing_rules rules = listing_rules(&config, 0);

    // Let go of as soon as the host has stopped waiting for it, and held
    // (as the menu that shows it does) until its worker has ended.
    long long operations[2];
    for (int held_on = 0; held_on < 2; held_on++) {
        std::wstring folder = drive.path(held_on ? L"held" : L"abandoned");
        ASSERT_TRUE(drive.reset_operations());
        qv_item_list list = {};
        qv_job *held = NULL;
        list_in_time(folder.c_str(), INVALID_FILE_ATTRIBUTES, &rules, deadline_after(100), &list, &held);
        list_clear(&list);
        if (!held_on) {
            listing_let_go(held);
            held = NULL;
        }
        ASSERT_TRUE(listing_workers_end());
        listing_let_go(held);
        operations[held_on] = drive.operations();

        // The next right-click has the kept listing: every name, and the
        // pictures it was kept with.
        ASSERT_EQ(qv_listing_listed,
                  list_in_time(folder.c_str(), INVALID_FILE_ATTRIBUTES, &rules, deadline_after(5000), &list, &held));
        listing_let_go(held);
        EXPECT_EQ((UINT64)count, list.entry_count);
        if (held_on) {
            for (UINT64 i = 0; i < list.entry_count; i++)
                EXPECT_EQ(qv_icon_own, list.entries[i].icon_kind) << i;
        }
        list_clear(&list);
        ASSERT_TRUE(listing_workers_end());
    }
    drive.set_delay(0);
    printf("Operations: %lld for the listing let go of, %lld for the one held\n", operations[0], operations[1]);
    EXPECT_LT(operations[0] * 2, operations[1]) << "the listing let go of went on looking up pictures";
}

// A menu open while its pictures are still looked up shows each as it is
// found, and the listing ends with all of them.
TEST_F(SlowPictures, PicturesArriveInTheOpenMenu)
{
    const int count = 10;
    make_icon_folder(drive, L"live", count, 3);
    ASSERT_TRUE(drive.set_delay(2));
    HWND owner = popup_owner();
    qv_shellex *ext = listed_object_for(drive.path(L"live"));
    ext->config.ListingTimeLimit = 300;
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ((UINT)count + 10, (UINT)HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, 0)));
    int waiting = 0;
    for (UINT64 i = 0; i < ext->list.entry_count; i++)
        waiting += ext->list.entries[i].icon_kind == qv_icon_type_for_now;
    ASSERT_GT(waiting, 0) << "every picture was found before the menu opened: the drive is too fast";

    int own = 0, shown = 0;
    show_popup(owner, menu, 4000, [&] {
        for (UINT64 i = 0; i < ext->list.entry_count; i++) {
            own += ext->list.entries[i].icon_kind == qv_icon_own;
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_BITMAP;
            GetMenuItemInfoW(menu, (UINT)(100 + i), FALSE, &info);
            shown += info.hbmpItem && info.hbmpItem == picture_of(&ext->session.pictures, ext->list.entries[i].icon);
        }
        return false;
    });
    drive.set_delay(0);
    EXPECT_EQ(count, own) << "every own picture, while the menu was open";
    EXPECT_EQ(count, shown) << "each shown as its entry has it";
    // (Wine's shell gives these icon files the picture of a file without
    // type: under Wine the pictures look alike before and after.)
    DestroyMenu(menu);
    ext->Release();
    DestroyWindow(owner);
    EXPECT_TRUE(listing_workers_end());
}

TEST(TypePictures, SharedByIndex)
{
    temp_dir dir;
    for (int i = 0; i < 12; i++)
        ASSERT_TRUE(write_file(dir / (L"a" + std::to_wstring(i) + L".qvshared")));
    for (int i = 0; i < 3; i++) {
        ASSERT_TRUE(write_file(dir / (L"b" + std::to_wstring(i) + L".QVOTHER")));
        ASSERT_TRUE(make_dir(dir / (L"sub" + std::to_wstring(i))));
    }
    qv_config config = default_settings();
    qv_listing_rules rules = listing_rules(&config, 0);
    UINT kept = type_pictures_kept();
    for (int round = 0; round < 2; round++) {
        qv_item_list list = {};
        list_folder(&list, dir.path().c_str(), &rules, NULL);
        ASSERT_EQ(18u, list.entry_count);
        for (UINT64 i = 0; i < list.entry_count; i++) {
            const WCHAR *name = list_name(&list, i);
            const WCHAR *alike = name[0] == L'a' ? L"x.qvshared" : name[0] == L'b' ? L"x.qvother" : L"x";
            DWORD attributes = name[0] == L's' ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
            SHFILEINFOW info = {};
            ASSERT_TRUE(SHGetFileInfoW(alike, attributes, &info, sizeof(info),
                                       SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
            EXPECT_EQ(info.iIcon, list.entries[i].icon) << testing::PrintToString(name);
            EXPECT_EQ(qv_icon_type, list.entries[i].icon_kind) << testing::PrintToString(name);
        }
        list_clear(&list);
        // Two new types, and folders unless some listing had them before;
        // none more the second time.
        EXPECT_GE(type_pictures_kept() - kept, 2u) << round;
        EXPECT_LE(type_pictures_kept() - kept, 3u) << round;
    }
}

}  // namespace
