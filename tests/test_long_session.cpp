// Many right-click cycles leave nothing behind, and the module unloads once
// unused and loads again for the next right-click.
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "extension/qv_shellex.h"
#include "gdi_objects.h"
#include "test_support.h"

namespace {

// Each cycle lists 21 of the folder's 150 items with their icons, then ".",
// so that 2,000 cycles stay within half a minute or so under Wine.
const DWORD session_limit = 20;

// One full cycle as the shell drives it: create, initialise, reserve, fill
// the menu, close it, release.
void right_click(IContextMenu *context_menu, const std::wstring &folder, HWND owner)
{
    IShellExtInit *init = nullptr;
    context_menu->QueryInterface(IID_IShellExtInit, (void **)&init);
    IDataObject *data = shell_data_object({folder});
    EXPECT_EQ(S_OK, init->Initialize(NULL, data, NULL));
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    // The limit's names, then "." for the rest of the folder.
    const UINT entries = session_limit + 1 + 1;
    EXPECT_EQ(entries + 10, (UINT)HRESULT_CODE(context_menu->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ((int)(1 + entries + 1), GetMenuItemCount(menu));
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    data->Release();
    init->Release();
}

TEST(LongSession, CyclesLeakNoGdiObjectsHooksOrMemory)
{
    settings_scope settings;
    settings.set(L"MaxMenuItems", session_limit);
    // Every cycle lists in full: a listing that overran on a busy machine
    // would be kept, pictures and all, and count as a leak here.
    settings.set(L"ListingTimeLimit", 0);
    temp_dir folder;
    // A type the shell knows no program for: each item still costs one icon
    // lookup and one picture, without the association search a registered
    // type adds to every lookup (up to six times the time under Wine).
    for (int i = 0; i < 150; i++)
        write_file(folder / (L"item" + std::to_wstring(i) + L".qvsession"));
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);

    auto cycle = [&] {
        qv_shellex *ext = qv_shellex::create();
        IContextMenu *context_menu = static_cast<IContextMenu *>(ext);
        right_click(context_menu, folder.path(), owner);
        ext->Release();
    };
    // Warm-up: the shell's icon cache and the heap settle first.
    for (int i = 0; i < 5; i++)
        cycle();
    long gdi_before = live_gdi_objects();
    long user_before = live_user_objects();
    ASSERT_GE(gdi_before, 0);
    ASSERT_GE(user_before, 0);
    SIZE_T memory_before = heap_bytes_in_use();
    {
        // The measure must see a leak of that size: 4 MB held in small blocks,
        // from the process heap and from the C runtime.
        std::vector<void *> blocks;
        std::vector<void *> runtime_blocks;
        for (int i = 0; i < 2048; i++) {
            blocks.push_back(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 1024));
            runtime_blocks.push_back(malloc(1024));
        }
        EXPECT_GE(heap_bytes_in_use(), memory_before + 4 * 1000 * 1024);
        for (void *block : blocks)
            HeapFree(GetProcessHeap(), 0, block);
        for (void *block : runtime_blocks)
            free(block);
        memory_before = heap_bytes_in_use();
    }
    const int cycles = 2000;
    for (int i = 0; i < cycles; i++)
        cycle();
    EXPECT_LE(live_gdi_objects(), gdi_before + 5);
    // Each cycle makes a "| NORMAL |" submenu and an icon per item.
    EXPECT_LE(live_user_objects(), user_before + 5);
    // Per cycle 21 bitmaps, an object and a listing of about 10 KB come and
    // go; a leak of any of them would show as a megabyte or more.
    EXPECT_LT(heap_bytes_in_use(), memory_before + 1024 * 1024);
    EXPECT_EQ(0, OutstandingObjects);
    EXPECT_EQ(0, menu_hook_count());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    DestroyWindow(owner);
}

TEST(LongSession, ModuleUnloadsWhenUnusedAndLoadsAgain)
{
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
    temp_dir folder;
    write_file(folder / L"a.txt");
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    for (int round = 0; round < 2; round++) {
        IContextMenu *context_menu = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                         (void **)&context_menu));
        EXPECT_TRUE(test_dll_loaded());
        IShellExtInit *init = nullptr;
        context_menu->QueryInterface(IID_IShellExtInit, (void **)&init);
        IDataObject *data = shell_data_object({folder.path()});
        EXPECT_EQ(S_OK, init->Initialize(NULL, data, NULL));
        HMENU menu = CreatePopupMenu();
        EXPECT_EQ(11u, HRESULT_CODE(context_menu->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
        SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
        EXPECT_EQ(1 + 1 + 1, GetMenuItemCount(menu)) << round;
        SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
        DestroyMenu(menu);
        data->Release();
        init->Release();
        context_menu->Release();
        EXPECT_TRUE(test_dll_unloads(5000)) << "round " << round;
    }
    DestroyWindow(owner);
    run_regsvr32(test_dll_path(), L"/u");
}

}  // namespace
