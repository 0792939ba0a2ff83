// A long-running host that loads and unloads the module again and again, as
// Explorer does with idle handlers, and threads that end with a menu open.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "popup.h"
#include "test_support.h"
#include "window_input.h"

namespace {

// TLS slots the process can still allocate: take them all, count, give back.
size_t free_tls_slots()
{
    std::vector<DWORD> taken;
    for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;)
        taken.push_back(slot);
    for (DWORD slot : taken)
        TlsFree(slot);
    return taken.size();
}

IContextMenu *create_by_clsid()
{
    IContextMenu *menu = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                     (void **)&menu));
    return menu;
}

// Initialize with the shell's data object for `folder`, then QueryContextMenu.
UINT initialise_and_reserve(IContextMenu *menu, const std::wstring &folder, HMENU popup)
{
    IShellExtInit *init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, (void **)&init);
    IDataObject *data = shell_data_object({folder});
    EXPECT_EQ(S_OK, init->Initialize(NULL, data, NULL));
    data->Release();
    init->Release();
    return HRESULT_CODE(menu->QueryContextMenu(popup, 0, 100, 0x7FFF, CMF_NORMAL));
}

class module_unloads : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(0u, run_regsvr32(test_dll_path())); }
    static void TearDownTestSuite() { run_regsvr32(test_dll_path(), L"/u"); }
    void SetUp() override
    {
        // Every menu is to be filled whole: the widest time limit, so that
        // a busy machine does not show a part of it.
        settings.set(L"ListingTimeLimit", 5000);
        write_file(folder / L"a.txt");
        make_dir(folder / L"Sub");
    }
    settings_scope settings;
    temp_dir folder{L"qv-unload"};
};

TEST_F(module_unloads, EveryUnloadGivesBackWhatTheLoadTook)
{
    // The first load settles what COM and the shell keep for good.
    create_by_clsid()->Release();
    CoFreeUnusedLibrariesEx(0, 0);
    const size_t slots = free_tls_slots();

    int stayed = 0;
    for (int i = 0; i < 2000; i++) {
        IContextMenu *menu = create_by_clsid();
        if (!menu)
            break;
        menu->Release();
        CoFreeUnusedLibrariesEx(0, 0);
        stayed += test_dll_loaded();
        // A module that loses a slot per load runs the process out of them
        // after about a thousand loads: stop well before that.
        if (i % 100 == 99 && free_tls_slots() != slots) {
            ADD_FAILURE() << "TLS slots lost after " << i + 1 << " loads: " << slots - free_tls_slots();
            break;
        }
    }
    EXPECT_EQ(0, stayed) << "cycles after which the module stayed loaded";
    EXPECT_EQ(slots, free_tls_slots());

    // Full right-clicks, the menu shown and filled, each followed by an unload.
    HWND owner = popup_owner();
    int filled = 0;
    for (int i = 0; i < 200; i++) {
        IContextMenu *menu = create_by_clsid();
        if (!menu)
            break;
        HMENU popup = CreatePopupMenu();
        AppendMenuW(popup, MF_STRING, 1, L"Open");
        EXPECT_EQ(12u, initialise_and_reserve(menu, folder.path(), popup));
        int items = 0;
        show_popup(owner, popup, 10, [&] {
            items = GetMenuItemCount(popup);
            return false;
        });
        filled += items == 1 + 2 + 1;
        DestroyMenu(popup);
        menu->Release();
        // A listing worker on its way out keeps the module a moment longer:
        // a host asks again later, as COM's idle unloading does.
        if (!test_dll_unloads(5000)) {
            stayed++;
            break;
        }
    }
    DestroyWindow(owner);
    EXPECT_EQ(200, filled);
    EXPECT_EQ(0, stayed);
    EXPECT_EQ(slots, free_tls_slots());
    // The process still loads and uses the module.
    IContextMenu *menu = create_by_clsid();
    ASSERT_NE(nullptr, menu);
    menu->Release();
}

TEST_F(module_unloads, ThreadEndingWithAReservedMenuLeavesNothing)
{
    HMODULE module = LoadLibraryW(test_dll_path().c_str());
    ASSERT_NE(nullptr, module);
    auto can_unload = (HRESULT(WINAPI *)())(void *)GetProcAddress(module, "DllCanUnloadNow");
    ASSERT_NE(nullptr, can_unload);
    ASSERT_EQ(S_OK, can_unload());

    // A host thread reserves a menu (both hooks installed) and ends without
    // showing it or releasing the object.
    struct work {
        std::wstring folder;
        IContextMenu *menu = nullptr;
        UINT reserved = 0;
    } job{folder.path()};
    HANDLE thread = CreateThread(NULL, 0, [](void *param) -> DWORD {
        work *job = (work *)param;
        CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
        job->menu = create_by_clsid();
        if (job->menu)
            job->reserved = initialise_and_reserve(job->menu, job->folder, CreatePopupMenu());
        return 0;
    }, &job, 0, NULL);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    ASSERT_NE(nullptr, job.menu);
    EXPECT_EQ(12u, job.reserved);
    EXPECT_EQ(S_FALSE, can_unload()) << "the object still lives";
    job.menu->Release();
    EXPECT_TRUE(wait_until([&] { return can_unload() == S_OK; }, 5000)) << "the ended thread's hooks are not counted";
    FreeLibrary(module);
}

}  // namespace
