// Right-clicks on a slow drive and on one that blocks (slowfs, mounted by
// with-slow-drive.sh): the host's thread is back within the time limit, the
// menu shows what was found in time, a listing that overran is kept for the
// next right-click, and the workers neither hold the module nor leak.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "extension/qv_shellex.h"
#include "listing/listing_job.h"
#include "gdi_objects.h"
#include "popup.h"
#include "right_click.h"
#include "slow_drive_test.h"
#include "test_support.h"

namespace {

class slow_folders : public slow_drive_test {
protected:
    // A folder of `count` text files and one sub-folder, made behind the
    // drive; returns its path on the drive.
    // A folder of a sub-folder and `count` files named noteN + `type`:
    // text files show their type's picture, others (".ico") their own,
    // looked up one by one.
    std::wstring folder(const std::wstring &name, int count, const wchar_t *type = L".txt")
    {
        std::wstring behind = drive.backing_path(name);
        remove_tree(behind);
        EXPECT_TRUE(make_dir(behind));
        EXPECT_TRUE(make_dir(behind + L"\\Sub"));
        for (int i = 0; i < count; i++)
            EXPECT_TRUE(write_file(behind + L"\\note" + std::to_wstring(i) + type));
        return drive.path(name);
    }
};

TEST_F(slow_folders, LimitHoldsAndTheMenuShowsWhatWasFoundInOrder)
{
    std::wstring dir = folder(L"ten-ms", 20);
    std::vector<std::wstring> order = enumerated_names(dir);
    ASSERT_EQ(21u, order.size());
    drive.set_delay(10);
    // Time to learn that this is a folder (about 30 operations under Wine),
    // not to list it (about 100 per entry).
    settings.set(L"ListingTimeLimit", 1000);
    click r = right_click(ext, dir);
    EXPECT_EQ(S_OK, r.init);
    EXPECT_LT(r.ms, back_soon_ms) << "the limit is 1000 ms";
    // A part of the folder, in enumeration order, then "." for the rest.
    ASSERT_FALSE(r.names.empty());
    EXPECT_EQ(L".", r.names.back());
    ASSERT_LT(r.names.size(), order.size() + 1) << "not everything was read in time";
    for (size_t i = 0; i + 1 < r.names.size(); i++)
        EXPECT_EQ(order[i], r.names[i]) << i;
    EXPECT_EQ(r.names.size() + 10, r.reserved);
}

TEST_F(slow_folders, OverrunListingIsKeptForTheNextRightClickUntilTheFolderChanges)
{
    std::wstring dir = folder(L"kept", 12);
    settings.set(L"ListingTimeLimit", 150);
    drive.set_delay(2);
    click first = right_click(ext, dir);
    ASSERT_FALSE(first.names.empty()) << "known to be a folder within 150 ms";
    ASSERT_EQ(L".", first.names.back());
    ASSERT_LT(first.names.size(), 14u) << "the first listing overruns 150 ms";
    ASSERT_TRUE(listing_workers_end()) << "the listing goes on to its end";

    long long before = drive.operations();
    click second = right_click(ext, dir);
    EXPECT_EQ(13u, second.names.size()) << "the whole listing at once";
    EXPECT_NE(L".", second.names.back());
    EXPECT_LT(drive.operations() - before, 50) << "a few reads to see the folder unchanged, no icon lookup";

    // Changed since: the kept listing is stale and never shown again.
    ASSERT_TRUE(write_file(drive.backing_path(L"kept\\late.txt")));
    Sleep(1500);  // past the kernel's attribute cache of the mount
    click third = right_click(ext, dir);
    bool partial = third.names.back() == L".";
    bool has_late = std::find(third.names.begin(), third.names.end(), L"late.txt") != third.names.end();
    EXPECT_TRUE(partial || has_late) << "listed anew, not the stale kept listing";
    ASSERT_TRUE(listing_workers_end());
    click fourth = right_click(ext, dir);
    EXPECT_EQ(14u, fourth.names.size());
    EXPECT_NE(std::find(fourth.names.begin(), fourth.names.end(), L"late.txt"), fourth.names.end());
}

TEST_F(slow_folders, BlockedDriveNeverHoldsTheHostNorCostsOtherDrivesTheirMenu)
{
    std::wstring dir = folder(L"blocked", 3);
    std::wstring other = folder(L"blocked-too", 1);
    std::wstring lnk = drive.backing_path(L"to-blocked.lnk");
    ASSERT_TRUE(make_shortcut(lnk, dir));
    temp_dir local;
    ASSERT_TRUE(write_file(local / L"a.txt"));
    ASSERT_TRUE(write_file(local / L"b.txt"));
    ASSERT_TRUE(make_shortcut(local / L"to-local.lnk", local.path()));
    ASSERT_TRUE(drive.block(blocked_ms));

    // A folder whose attributes do not come: the shell's menu as it is.
    click r = right_click(ext, dir);
    EXPECT_LT(r.ms, back_soon_ms);
    EXPECT_EQ(0u, r.reserved);
    // A shortcut that cannot be read: not known to lead to a folder.
    r = right_click(ext, drive.path(L"to-blocked.lnk"));
    EXPECT_LT(r.ms, back_soon_ms);
    EXPECT_EQ(S_OK, r.init);
    EXPECT_EQ(0u, r.reserved);
    EXPECT_EQ(1u, ext->link_pending);

    // Its two workers wait on the drive: another folder of it gets "."
    // alone, without anything read.
    EXPECT_EQ(QV_MAX_VOLUME_WORKERS, listing_workers());
    r = right_click(ext, other);
    EXPECT_LT(r.ms, back_soon_ms);
    EXPECT_EQ(std::vector<std::wstring>{L"."}, r.names);
    EXPECT_EQ(11u, r.reserved);

    // More right-clicks and double-clicks on the drive than the process has
    // workers leave them at two.
    for (int i = 0; i < QV_MAX_WORKERS; i++) {
        right_click(ext, i % 2 ? dir : drive.path(L"to-blocked.lnk"), CMF_DEFAULTONLY);
        EXPECT_LT(right_click(ext, i % 3 ? other : drive.path(L"to-blocked.lnk")).ms, back_soon_ms);
    }
    EXPECT_EQ(QV_MAX_VOLUME_WORKERS, listing_workers());

    // Every other drive's folders and shortcuts get their whole launcher.
    settings.set(L"ListingTimeLimit", 5000);
    auto sorted_names = [this](const std::wstring &item) {
        std::vector<std::wstring> names = right_click(ext, item).names;
        std::sort(names.begin(), names.end());
        return names;
    };
    std::vector<std::wstring> whole = {L"a.txt", L"b.txt", L"to-local.lnk"};
    EXPECT_EQ(whole, sorted_names(local.path()));
    whole.insert(whole.begin(), L"..");
    EXPECT_EQ(whole, sorted_names(local / L"to-local.lnk"));
}

// One deadline for a right-click: the shortcut, then its folder, hold the
// host no longer than the limit in all.  Here the shortcut is read after
// half the limit, and the folder blocks at its first look: two limits would
// hold it 1.5.  (The block begins with the folder's own first operation,
// never midway through an open: under Wine, an open that waits on the
// drive in the wineserver holds every thread, the host's wait included.)
TEST_F(slow_folders, ShortcutAndItsFolderWaitWithinOneLimit)
{
    std::wstring dir = folder(L"target", 20);
    ASSERT_TRUE(make_shortcut(drive.backing_path(L"on-drive.lnk"), dir));
    const DWORD limit = 3000;
    settings.set(L"ListingTimeLimit", limit);
    drive.set_delay(5);
    ASSERT_TRUE(drive.block(limit / 2));
    ASSERT_TRUE(drive.block_at("target", blocked_ms));
    click r = right_click(ext, drive.path(L"on-drive.lnk"));
    EXPECT_EQ(0u, ext->link_pending) << "the shortcut was read in time";
    EXPECT_GE(r.ms, limit / 2);
    EXPECT_LT(r.ms, limit + limit / 4);
}

// A double-click asks only for the default verb: nothing of the drive is
// read, not even the shortcut.
TEST_F(slow_folders, DoubleClickReadsNothingOfTheDrive)
{
    std::wstring dir = folder(L"double", 2);
    ASSERT_TRUE(make_shortcut(drive.backing_path(L"double.lnk"), dir));
    ASSERT_TRUE(drive.reset_operations());
    for (const std::wstring &item : {drive.path(L"double.lnk"), dir})
        EXPECT_EQ(0u, right_click(ext, item, CMF_DEFAULTONLY).reserved);
    EXPECT_EQ(0, drive.operations());
    EXPECT_EQ(0, listing_workers());
}

// OnlyAllowedOnDesktop takes the desktop's path as the user's settings name
// it, without looking at the folder, even on a drive that is slow or gone.
TEST_F(slow_folders, DesktopTestReadsNothingOfTheDrive)
{
    // The user's Desktop value, as it is, put back when the test ends.
    struct saved_desktop {
        const wchar_t *key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
        wchar_t value[1024];
        DWORD type = 0, size = sizeof(value);
        bool had = RegGetValueW(HKEY_CURRENT_USER, key, L"Desktop", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                &type, value, &size) == ERROR_SUCCESS;
        ~saved_desktop()
        {
            if (had)
                RegSetKeyValueW(HKEY_CURRENT_USER, key, L"Desktop", type, value, size);
            else
                RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"Desktop");
        }
    } saved;
    std::wstring desktop = drive.path(L"desk");
    ASSERT_TRUE(make_dir(drive.backing_path(L"desk")));
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, saved.key, L"Desktop", REG_SZ, desktop.c_str(),
                              (DWORD)(desktop.size() + 1) * sizeof(wchar_t)));
    settings.set(L"OnlyAllowedOnDesktop", 1);
    ASSERT_TRUE(drive.reset_operations());
    right_click(ext, desktop + L"\\Tools", CMF_DEFAULTONLY);
    EXPECT_EQ(1u, ext->desktop_ok) << "the desktop named by the settings";
    EXPECT_EQ(0, drive.operations());
}

// Right-clicks on a folder whose listing still runs join it: the drive
// serves one listing, whatever the number of right-clicks.
TEST_F(slow_folders, RightClicksDuringASlowListingShareIt)
{
    std::wstring dir = folder(L"shared", 30, L".ico");
    std::wstring twin = folder(L"twin", 30, L".ico");
    drive.set_delay(5);
    settings.set(L"ListingTimeLimit", 0);
    ASSERT_TRUE(drive.reset_operations());
    right_click(ext, twin);
    long long one_listing = drive.operations();

    settings.set(L"ListingTimeLimit", 400);
    ASSERT_TRUE(drive.reset_operations());
    for (int i = 0; i < 4; i++) {
        click r = right_click(ext, dir);
        ASSERT_FALSE(r.names.empty());
        // The names found so far, then "."; or, once every name is found
        // while the pictures still take their time, all of them.
        EXPECT_TRUE(r.names.back() == L"." || r.names.size() == 31u) << r.names.size();
        EXPECT_EQ(1, listing_workers()) << i;
    }
    ASSERT_TRUE(listing_workers_end());
    EXPECT_LT(drive.operations(), one_listing * 3 / 2) << "one listing, not four: " << one_listing;
}

// A folder renamed away and back while it was listed may hold something
// else by then: its listing is not kept, and the next right-click lists it.
TEST_F(slow_folders, FolderRenamedAwayAndBackIsListedAgain)
{
    std::wstring dir = folder(L"moved", 5, L".ico");
    drive.set_delay(3);
    settings.set(L"ListingTimeLimit", 400);
    std::vector<std::wstring> first = right_click(ext, dir).names;
    ASSERT_FALSE(first.empty());
    ASSERT_EQ(1, listing_workers()) << "the listing overran: its pictures are still looked up";
    ASSERT_TRUE(MoveFileW(drive.backing_path(L"moved").c_str(), drive.backing_path(L"away").c_str()));
    ASSERT_TRUE(MoveFileW(drive.backing_path(L"away").c_str(), drive.backing_path(L"moved").c_str()));
    ASSERT_TRUE(listing_workers_end());
    Sleep(1500);  // past the kernel's attribute cache of the mount

    drive.set_delay(0);
    settings.set(L"ListingTimeLimit", 5000);
    ASSERT_TRUE(drive.reset_operations());
    click again = right_click(ext, dir);
    EXPECT_EQ(6u, again.names.size());
    EXPECT_NE(L".", again.names.back());
    EXPECT_GT(drive.operations(), 100) << "listed again with its icons, not the listing kept from before";
}

// With SortEntries, Explorer's order: folders first, then names as
// StrCmpLogicalW has them, cut after MaxMenuItems + 1; a listing that
// overruns shows what it found in that order.
TEST_F(slow_folders, SortedAsExplorerDoesWhateverTheDrivesOrder)
{
    std::wstring behind = drive.backing_path(L"sorted");
    remove_tree(behind);
    ASSERT_TRUE(make_dir(behind));
    for (const wchar_t *name : {L"file10.txt", L"Zeta", L"file2.txt", L"zulu.txt", L"apple.txt", L"beta",
                                L"Carrot.txt", L"file1.txt"}) {
        std::wstring path = behind + L"\\" + name;
        ASSERT_TRUE(wcschr(name, L'.') ? write_file(path) : make_dir(path));
    }
    settings.set(L"SortEntries", 1);
    settings.set(L"MaxMenuItems", 5);
    settings.set(L"ListingTimeLimit", 5000);
    const std::vector<std::wstring> sorted = {L"beta",      L"Zeta",      L"apple.txt", L"Carrot.txt",
                                              L"file1.txt", L"file2.txt", L"."};
    EXPECT_EQ(sorted, right_click(ext, drive.path(L"sorted")).names);

    ASSERT_TRUE(write_file(behind + L"\\changed.txt"));
    Sleep(1500);  // past the kernel's attribute cache of the mount
    drive.set_delay(5);
    settings.set(L"ListingTimeLimit", 150);
    std::vector<std::wstring> part = right_click(ext, drive.path(L"sorted")).names;
    ASSERT_FALSE(part.empty());
    EXPECT_EQ(L".", part.back());
    for (size_t i = 1; i + 1 < part.size(); i++) {
        size_t at = std::find(sorted.begin(), sorted.end(), part[i]) - sorted.begin();
        size_t before = std::find(sorted.begin(), sorted.end(), part[i - 1]) - sorted.begin();
        if (part[i] != L"changed.txt" && part[i - 1] != L"changed.txt") {
            EXPECT_LT(before, at) << testing::PrintToString(part);
        }
    }
}

// A sub-folder's submenu is listed when it opens, within the same limit: a
// drive that stops answering by then gives the submenu's "." alone.
TEST_F(slow_folders, SubmenuOnABlockedDriveOpensAtOnce)
{
    std::wstring dir = folder(L"cascade", 2);
    ASSERT_TRUE(write_file(drive.backing_path(L"cascade\\Sub\\inner.txt")));
    ext->Release();
    ext = qv_shellex::create();
    settings.set(L"CascadeFolders", 1);
    HMENU menu = CreatePopupMenu();
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    click r = right_click(ext, ext, dir, menu);
    ASSERT_GT(r.reserved, 10u);
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    HMENU sub = NULL;
    for (int i = 0; i < GetMenuItemCount(menu) && !sub; i++)
        sub = GetSubMenu(menu, i) && item_text(menu, i) == L"Sub" ? GetSubMenu(menu, i) : NULL;
    ASSERT_NE(nullptr, sub);

    ASSERT_TRUE(drive.block(blocked_ms));
    DWORD start = GetTickCount();
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    EXPECT_LT(GetTickCount() - start, back_soon_ms);
    ASSERT_EQ(1, GetMenuItemCount(sub));
    EXPECT_EQ(L".", item_text(sub, 0));

    // Reopened once the drive answers, it is listed in full.
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)sub, 0);
    ASSERT_TRUE(drive.unblock());
    ASSERT_TRUE(listing_workers_end());
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    ASSERT_EQ(3, GetMenuItemCount(sub)) << "\".\", a separator, inner.txt";
    EXPECT_EQ(L"inner.txt", item_text(sub, 2));
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    DestroyWindow(owner);
}

// A right-click on the blocked drive, then the process ends at once: run in
// a child process by the test below.
TEST_F(slow_folders, DISABLED_ChildExitsWithAWorkerBlocked)
{
    ASSERT_TRUE(drive.block(blocked_ms));
    click r = right_click(ext, folder(L"child", 1));
    EXPECT_EQ(0u, r.reserved);
    ASSERT_EQ(1, listing_workers());
    fflush(stdout);
    ExitProcess(0);
}

TEST_F(slow_folders, HostExitsWhileAWorkerIsBlocked)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self) +
                        L"\" --gtest_also_run_disabled_tests --gtest_filter=*DISABLED_ChildExitsWithAWorkerBlocked";
    DWORD start = GetTickCount();
    EXPECT_EQ(0u, run_process(line, 30000));
    EXPECT_LT(GetTickCount() - start, 30000u) << "the exit did not wait for the blocked worker";
}

// Through the registered module, as Explorer loads it.
class slow_module : public slow_folders {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, run_regsvr32(test_dll_path())); }
    static void TearDownTestSuite() { run_regsvr32(test_dll_path(), L"/u"); }

    // One right-click through a new object of the module, released after.
    static click right_click_module(const std::wstring &item)
    {
        IContextMenu *context = nullptr;
        IShellExtInit *init = nullptr;
        click r;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                         (void **)&context));
        if (!context)
            return r;
        context->QueryInterface(IID_IShellExtInit, (void **)&init);
        HMENU menu = CreatePopupMenu();
        r = right_click(init, context, item, menu);
        DestroyMenu(menu);
        init->Release();
        context->Release();
        return r;
    }
};

long process_threads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    long count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

// The threads of the process once those on their way out have gone: a
// worker lets the module go just before its thread ends.
long settled_threads()
{
    long fewest = process_threads();
    for (int i = 0; i < 20; i++) {
        Sleep(50);
        fewest = std::min(fewest, process_threads());
    }
    return fewest;
}

DWORD process_handles()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

TEST_F(slow_module, WorkerKeepsTheModuleLoadedAndNothingLeaks)
{
    std::wstring dir = folder(L"unloads", 3);
    // The first load settles what COM and the shell keep for good.
    right_click_module(dir);
    ASSERT_TRUE(test_dll_unloads(10000));
    const long threads = settled_threads();
    const DWORD handles = process_handles();
    const long gdi = live_gdi_objects();

    for (int round = 0; round < 20; round++) {
        ASSERT_TRUE(drive.block(blocked_ms));
        click r = right_click_module(dir);
        ASSERT_LT(r.ms, back_soon_ms);
        CoFreeUnusedLibrariesEx(0, 0);
        ASSERT_TRUE(test_dll_loaded()) << "a worker still runs in it, round " << round;
        drive.unblock();
        ASSERT_TRUE(test_dll_unloads(10000)) << "the worker ended and let it go, round " << round;
    }
    // Slow rather than blocked: workers that overrun and keep their listing.
    settings.set(L"ListingTimeLimit", 20);
    drive.set_delay(1);
    for (int round = 0; round < 5; round++) {
        right_click_module(dir);
        ASSERT_TRUE(test_dll_unloads(30000)) << round;
    }
    EXPECT_EQ(threads, settled_threads());
    EXPECT_EQ(handles, process_handles());
    EXPECT_EQ(gdi, live_gdi_objects()) << "kept pictures go with the module";
}

}  // namespace
