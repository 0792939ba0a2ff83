// Many right-click cycles leave nothing behind, and the module unloads once
// unused and loads again for the next right-click.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "common/qv_shellex.h"
#include "gdi_objects.h"
#include "test_support.h"

namespace {

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
    EXPECT_EQ(101u + 1u + 10u, HRESULT_CODE(context_menu->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ(1 + 102 + 1, GetMenuItemCount(menu));
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    data->Release();
    init->Release();
}

SIZE_T private_bytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS *)&counters, sizeof(counters));
    return counters.PrivateUsage;
}

TEST(LongSession, CyclesLeakNoGdiObjectsHooksOrMemory)
{
    settings_scope settings;
    temp_dir folder;
    // A type the shell knows no program for: each item still costs one icon
    // lookup and one picture, without the association search a registered
    // type adds to every lookup (six times the time under Wine).
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
    SIZE_T memory_before = private_bytes();
    const int cycles = 2000;
    for (int i = 0; i < cycles; i++)
        cycle();
    EXPECT_LE(live_gdi_objects(), gdi_before + 5);
    // Each cycle makes a "| NORMAL |" submenu and an icon per item.
    EXPECT_LE(live_user_objects(), user_before + 5);
    // Per cycle ~100 bitmaps and a few kilobytes of names come and go; a leak
    // of them would show as megabytes.
    EXPECT_LT(private_bytes(), memory_before + 2 * 1024 * 1024);
    EXPECT_EQ(0, OutstandingObjects);
    EXPECT_EQ(0, qv_installed_hooks());
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
        EXPECT_NE(nullptr, GetModuleHandleW(test_dll_path().c_str()));
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
        CoFreeUnusedLibrariesEx(0, 0);
        EXPECT_EQ(nullptr, GetModuleHandleW(test_dll_path().c_str())) << "round " << round;
    }
    DestroyWindow(owner);
    run_regsvr32(test_dll_path(), L"/u");
}

}  // namespace
