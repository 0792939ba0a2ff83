// Big folders: ten thousand files with the item limit lifted.  The listing,
// its pictures and the menu complete within a bounded number of GDI objects,
// and the entries fall into screen-high columns in the menu as it is shown.
// A hundred thousand files listed sorted keep the time limit.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <set>
#include <string>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"
#include "listing/listing_job.h"
#include "gdi_objects.h"
#include "test_support.h"

namespace {

const int file_count = 10000;
const UINT first_cmd = 1;

std::wstring file_name(int i)
{
    wchar_t name[32];
    swprintf(name, 32, L"file%05d.qvbig", i);
    return name;
}

// What the open popup showed, read from inside its menu loop.
struct shown_menu {
    HMENU menu = NULL;
    HWND window = NULL;
    int per_column = 0;
    bool popup_open = false;
    bool columns_placed = true;
    int columns_checked = 0;
} shown;

RECT item_rect(int position)
{
    RECT rect = {};
    GetMenuItemRect(shown.window, shown.menu, position, &rect);
    return rect;
}

// The first item of each of the first columns lies right of the column
// before it and at the top; the rest of a column lies under its first item.
void CALLBACK look_and_close(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    shown.popup_open = FindWindowW(L"#32768", NULL) != NULL;
    RECT top = item_rect(0);
    for (int column = 1; column <= 3; column++) {
        int start = column * shown.per_column;
        RECT head = item_rect(start);
        RECT above = item_rect(start - 1);
        RECT previous_head = item_rect(start - shown.per_column);
        if (head.left <= previous_head.left || head.top != top.top || above.left != previous_head.left ||
            above.top <= previous_head.top)
            shown.columns_placed = false;
        shown.columns_checked++;
    }
    EndMenu();
}

void CALLBACK close_menu(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    EndMenu();
}

// One small right-click with a shown popup, so that the shell's icon cache and
// the menu window's own GDI objects exist before anything is counted.
void warm_up(HWND owner)
{
    temp_dir small;
    write_file(small / file_name(0), "");
    qv_shellex *ext = qv_shellex::create();
    IDataObject *data = shell_data_object({small.path()});
    ext->Initialize(NULL, data, NULL);
    data->Release();
    HMENU menu = CreatePopupMenu();
    ext->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL);
    SetTimer(owner, 1, 200, close_menu);
    TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, owner, NULL);
    DestroyMenu(menu);
    ext->Release();
}

TEST(BigFolder, TenThousandFilesWithTheLimitLifted)
{
    settings_scope settings;
    settings.set(L"MaxMenuItems", 0xFFFFFFFF);
    // The whole listing, however long it takes: no time limit.
    settings.set(L"ListingTimeLimit", 0);
    temp_dir folder;
    for (int i = 0; i < file_count; i++)
        ASSERT_TRUE(write_file(folder / file_name(i), "")) << i;

    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.lpszClassName = L"qv-big-owner";
    RegisterClassW(&window_class);
    HWND owner = CreateWindowExW(0, L"qv-big-owner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    SetForegroundWindow(owner);
    warm_up(owner);
    long gdi_before = live_gdi_objects();
    ASSERT_GE(gdi_before, 0);

    qv_shellex *ext = qv_shellex::create();
    IDataObject *data = shell_data_object({folder.path()});
    ASSERT_NE(nullptr, data);
    ASSERT_EQ(S_OK, ext->Initialize(NULL, data, NULL));
    data->Release();
    ASSERT_EQ(0xFFFFFFFFu, ext->config.MaxMenuItems);

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 0x7000, L"Open");
    HRESULT reserved = ext->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL);
    // Every file is listed, with no "." for the rest, and each gets an identifier.
    ASSERT_EQ((UINT64)file_count, ext->list.entry_count);
    EXPECT_EQ((UINT)file_count + 10, HRESULT_CODE(reserved));
    std::set<std::wstring> names;
    int icons = 0;
    std::set<int> distinct;
    for (UINT64 i = 0; i < ext->list.entry_count; i++) {
        names.insert(list_name(&ext->list, i));
        icons += ext->list.entries[i].icon != QV_NO_ICON;
        distinct.insert(ext->list.entries[i].icon);
        if (i >= QV_MAX_PICTURES) {
            EXPECT_EQ(QV_NO_ICON, ext->list.entries[i].icon) << i;
        }
    }
    EXPECT_EQ((size_t)file_count, names.size());
    EXPECT_EQ(file_name(0), *names.begin());
    EXPECT_EQ(file_name(file_count - 1), *names.rbegin());
    EXPECT_EQ(QV_MAX_PICTURES, icons);
    // The listing holds icon indices, no GDI object.
    long gdi_listed = live_gdi_objects();
    EXPECT_LE(gdi_listed, gdi_before + 10);

    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    ASSERT_EQ(1 + file_count + 1, GetMenuItemCount(menu));
    int per_column = GetSystemMetrics(SM_CYSCREEN) / (GetSystemMetrics(SM_CYMENU) + 1) - 4;
    ASSERT_EQ(per_column, ext->session.fill.per_column);
    ASSERT_GT(per_column, 1);
    int breaks = 0, misplaced = 0, wrong_ids = 0;
    for (int position = 0; position < file_count + 2; position++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID;
        GetMenuItemInfoW(menu, position, TRUE, &info);
        bool column_start = position != 0 && position % per_column == 0;
        breaks += (info.fType & MFT_MENUBARBREAK) != 0;
        misplaced += column_start != ((info.fType & MFT_MENUBARBREAK) != 0);
        if (position >= 1 && info.wID != first_cmd + position - 1)
            wrong_ids++;
    }
    EXPECT_EQ((file_count + 1) / per_column, breaks);
    EXPECT_EQ(0, misplaced);
    EXPECT_EQ(0, wrong_ids);
    // One picture per distinct icon, however many entries show it.
    EXPECT_LE(live_gdi_objects(), gdi_listed + (long)distinct.size() + 2);

    // Shown for real: the popup opens, lays out its columns and closes.
    shown.menu = menu;
    shown.window = owner;
    shown.per_column = per_column;
    SetTimer(owner, 1, 500, look_and_close);
    long gdi_unshown = live_gdi_objects();
    TrackPopupMenuEx(menu, TPM_RETURNCMD | TPM_NONOTIFY, 0, 0, owner, NULL);
    // What the menu window of a popup this wide keeps is Wine's, not ours.
    long window_objects = live_gdi_objects() - gdi_unshown;
    EXPECT_TRUE(shown.popup_open);
    EXPECT_EQ(3, shown.columns_checked);
    EXPECT_TRUE(shown.columns_placed);

    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    ext->Release();
    EXPECT_LE(live_gdi_objects(), gdi_before + window_objects + (long)distinct.size() + 2);
    EXPECT_EQ(0, menu_hook_count());
    DestroyWindow(owner);
}

// The hundred thousand files file00000.qvbig and on that make_big_folder.sh
// made for this test, last to first, seen through drive Z:.
std::wstring hundred_thousand_files()
{
    std::string unix_path = QV_BIG_FOLDER;
    std::wstring path(unix_path.begin(), unix_path.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// What one right-click on `folder` lists, and how long QueryContextMenu took.
std::vector<std::wstring> right_click(const std::wstring &folder, DWORD *ms)
{
    std::vector<std::wstring> names;
    qv_shellex *ext = qv_shellex::create();
    IDataObject *data = shell_data_object({folder});
    if (!data || ext->Initialize(NULL, data, NULL) != S_OK) {
        ADD_FAILURE() << "no data object for the folder";
    } else {
        HMENU menu = CreatePopupMenu();
        DWORD start = GetTickCount();
        ext->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL);
        *ms = GetTickCount() - start;
        for (UINT64 i = 0; i < ext->list.entry_count; i++)
            names.push_back(list_name(&ext->list, i));
        DestroyMenu(menu);
    }
    if (data)
        data->Release();
    ext->Release();
    return names;
}

// Sorted, the names shown when the time is up are the first of what was
// read, already in order: the host's thread waits the limit and copies at
// most MaxMenuItems + 1 of them, however big the folder (Wine may take the
// whole limit to open it: then "." alone).  Right-clicks one after the
// other join the listing still read and find more of it read each time.
TEST(BigFolder, HundredThousandFilesSortedWithinTheTimeLimit)
{
    const std::wstring folder = hundred_thousand_files();
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"\\file99999.qvbig").c_str()));
    settings_scope settings;
    settings.set(L"SortEntries", 1);
    const DWORD limit_ms = 300, margin_ms = 700;
    settings.set(L"ListingTimeLimit", limit_ms);
    for (DWORD max_items : {1000, 100}) {
        settings.set(L"MaxMenuItems", max_items);
        for (int click = 0; click < 3; click++) {
            DWORD ms = 0;
            std::vector<std::wstring> part = right_click(folder, &ms);
            EXPECT_LT(ms, limit_ms + margin_ms) << max_items << " click " << click;
            ASSERT_FALSE(part.empty());
            EXPECT_LE(part.size(), max_items + 2);
            EXPECT_EQ(L".", part.back());
            EXPECT_TRUE(std::is_sorted(part.begin(), part.end() - 1)) << max_items;
        }
    }
    EXPECT_TRUE(listing_workers_end());
}

// A sorted listing read on another thread, watched as the host would copy
// it when its time is up.
struct sorted_reading {
    std::wstring folder;
    qv_listing_rules rules = {1001, false, QV_MAX_PICTURES, true};
    SRWLOCK lock = SRWLOCK_INIT;
    qv_listing_share share = {};
    qv_item_list list = {};
};

DWORD WINAPI read_sorted(void *parameter)
{
    sorted_reading *reading = (sorted_reading *)parameter;
    list_folder(&reading->list, reading->folder.c_str(), &reading->rules, &reading->share);
    return 0;
}

// While the folder is read, what a host finds is the first names read so
// far, in order, never more than the limit and "."; then the folder's first.
TEST(BigFolder, SortedListingInOrderWhileRead)
{
    sorted_reading reading;
    reading.folder = hundred_thousand_files();
    reading.share.lock = &reading.lock;
    HANDLE thread = CreateThread(NULL, 0, read_sorted, &reading, 0, NULL);
    ASSERT_NE(nullptr, thread);
    int looks = 0, with_names = 0, out_of_order = 0, too_long = 0;
    for (bool listed = false; !listed; Sleep(5)) {
        qv_item_list part = {};
        AcquireSRWLockExclusive(&reading.lock);
        listed = reading.share.listed;
        if (!listed) {
            too_long += reading.list.entry_count > reading.rules.max_names + 1;
            list_copy_part(&part, &reading.list, &reading.rules);
        }
        ReleaseSRWLockExclusive(&reading.lock);
        std::vector<std::wstring> names;
        for (UINT64 i = 0; i + 1 < part.entry_count; i++)
            names.push_back(list_name(&part, i));
        looks += !listed;
        with_names += !names.empty();
        out_of_order += !std::is_sorted(names.begin(), names.end());
        list_clear(&part);
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_GT(with_names, 0) << looks << " looks";
    EXPECT_EQ(0, out_of_order);
    EXPECT_EQ(0, too_long);
    ASSERT_EQ(reading.rules.max_names + 1, reading.list.entry_count);
    for (UINT64 i = 0; i < reading.rules.max_names; i++)
        EXPECT_EQ(file_name((int)i), list_name(&reading.list, i)) << i;
    EXPECT_STREQ(L".", list_name(&reading.list, reading.rules.max_names));
    list_clear(&reading.list);
}

}  // namespace
