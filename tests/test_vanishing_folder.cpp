// A folder that is emptied while its items' pictures are looked up, then
// removed: the listing ends consistent, the menu fills, an entry whose file
// is gone launches only its own path, and nothing is left behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <string>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"
#include "listing/item_pictures.h"
#include "gdi_objects.h"
#include "menu/shell_open.h"
#include "launch_recorder.h"
#include "test_support.h"

namespace {

const int file_count = 40;
const int vanish_at_picture = 10;

// Empties and removes the folder at the vanish_at_picture-th lookup of an
// item's own picture.
std::wstring g_vanishing;
int g_lookups;
int vanishing_lookup(IShellFolder *folder, const WCHAR *path, const WCHAR *name, DWORD attributes)
{
    if (++g_lookups == vanish_at_picture + 1) {
        for (int i = 0; i < file_count; i++)
            DeleteFileW((g_vanishing + L"\\v" + std::to_wstring(i) + L".ico").c_str());
        RemoveDirectoryW(g_vanishing.c_str());
    }
    return item_icon(folder, path, name, attributes);
}

TEST(VanishingFolder, RemovedWhileListing)
{
    temp_dir parent;
    std::wstring folder = parent / L"going";
    ASSERT_TRUE(make_dir(folder));
    for (int i = 0; i < file_count; i++)
        ASSERT_TRUE(write_file(folder + L"\\v" + std::to_wstring(i) + L".ico"));
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    // The shell's icon cache fills on the first lookup: before counting.
    SHFILEINFOW warm = {};
    SHGetFileInfoW((folder + L"\\v0.ico").c_str(), 0, &warm, sizeof(warm), SHGFI_ICON | SHGFI_SMALLICON);
    DestroyIcon(warm.hIcon);

    g_vanishing = folder;
    g_lookups = 0;
    g_icon_lookup = vanishing_lookup;
    long gdi_before = live_gdi_objects();

    qv_shellex *ext = listed_object_for(folder);
    HMENU menu = CreatePopupMenu();
    HRESULT reserved = ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    g_icon_lookup = item_icon;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder + L"\\v0.ico").c_str()))
        << "the files went during the listing";

    // Whatever the enumeration still reported is listed, the rest is not.
    UINT64 count = ext->list.entry_count;
    EXPECT_GE(count, (UINT64)vanish_at_picture);
    EXPECT_LE(count, (UINT64)file_count);
    EXPECT_EQ(count + 10, (UINT64)HRESULT_CODE(reserved));
    const qv_item_list &list = ext->list;
    for (UINT64 i = 0; i < count; i++) {
        const WCHAR *name = list_name(&list, i);
        EXPECT_EQ(list.entries[i + 1].name_offset - 1, list.entries[i].name_offset + wcslen(name)) << i;
        EXPECT_EQ(L'v', name[0]) << i;
        // Files looked up after the folder went keep their type's picture.
        if (i >= (UINT64)vanish_at_picture) {
            EXPECT_EQ(type_picture(name, list.entries[i].attributes, NULL), list.entries[i].icon) << i;
        }
    }

    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ((int)(1 + count + 1), GetMenuItemCount(menu));

    // Choosing the last entry asks the shell for exactly that path.
    {
        launch_recorder recorded;
        recorded.planned_results = {SE_ERR_FNF};  // what the shell answers for a file that is gone
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(count - 1);
        EXPECT_EQ(S_OK, ext->InvokeCommand(&info));
        ASSERT_EQ(1u, recorded.launches.size());
        EXPECT_EQ(folder + L"\\" + list_name(&list, count - 1), recorded.launches[0].file);
    }

    // The folder goes (if the lookups did not let it go already), and the
    // next right-click finds no folder and adds nothing.
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));
    HMENU next = CreatePopupMenu();
    EXPECT_EQ(0, HRESULT_CODE(ext->QueryContextMenu(next, 0, 100, 0x7FFF, CMF_NORMAL)));
    EXPECT_EQ(0, GetMenuItemCount(next));
    EXPECT_EQ(0u, ext->is_dir);

    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(next);
    DestroyMenu(menu);
    ext->Release();
    EXPECT_LE(live_gdi_objects(), gdi_before + 2);
    EXPECT_EQ(0, menu_hook_count());
    DestroyWindow(owner);
}

}  // namespace
