// Careless hosts: a second Initialize on the same object, offsets of a menu
// that no longer matches the listing, GetCommandString without room, and menu
// handles that are no menus.  Objects come from the class factory and are
// initialised with the shell's data objects; the menus are real popups
// filled through WM_INITMENU; launches are recorded through the launch seam.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "menu/menu_population.h"
#include "menu/shell_open.h"
#include "gdi_objects.h"
#include "launch_recorder.h"
#include "popup.h"
#include "test_support.h"

namespace {

const UINT first_cmd = 100;

std::vector<std::wstring> texts_of(HMENU menu)
{
    std::vector<std::wstring> texts;
    for (int i = 0; i < GetMenuItemCount(menu); i++)
        texts.push_back(item_text(menu, i));
    return texts;
}

int pictures_in(HMENU menu)
{
    int pictures = 0;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP;
        if (GetMenuItemInfoW(menu, i, TRUE, &info) && info.hbmpItem)
            pictures++;
    }
    return pictures;
}

// The menu as the shell hands it over: one item of its own.
HMENU shell_menu()
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    return menu;
}

class careless_host : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 6; i++)
            ASSERT_TRUE(write_file(big / (L"big" + std::to_wstring(i) + L".txt")));
        ASSERT_TRUE(write_file(small / L"small.txt"));
        window = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
        create_object();
    }
    void TearDown() override
    {
        release_object();
        DestroyWindow(window);
        EXPECT_EQ(0, menu_hook_count());
        EXPECT_EQ(0, OutstandingObjects);
    }

    void create_object()
    {
        IClassFactory *factory = nullptr;
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_QuorvaneShellex, IID_IClassFactory, (void **)&factory));
        ASSERT_EQ(S_OK, factory->CreateInstance(NULL, IID_IContextMenu, (void **)&context_menu));
        factory->Release();
        ASSERT_EQ(S_OK, context_menu->QueryInterface(IID_IShellExtInit, (void **)&init));
    }
    void release_object()
    {
        if (init)
            init->Release();
        if (context_menu)
            context_menu->Release();
        init = nullptr;
        context_menu = nullptr;
    }

    HRESULT initialize(const std::wstring &path)
    {
        IDataObject *data = shell_data_object({path});
        EXPECT_NE(nullptr, data) << "no data object for the selection";
        if (!data)
            return E_FAIL;
        HRESULT hr = init->Initialize(NULL, data, NULL);
        data->Release();
        return hr;
    }
    UINT reserve(HMENU menu)
    {
        HRESULT hr = context_menu->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL);
        EXPECT_TRUE(SUCCEEDED(hr));
        return HRESULT_CODE(hr);
    }
    // Initialises the menu for display, as the menu loop does.
    std::vector<std::wstring> show(HMENU menu)
    {
        SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
        return texts_of(menu);
    }
    HRESULT invoke(UINT offset)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(offset);
        info.nShow = SW_SHOWNORMAL;
        return context_menu->InvokeCommand(&info);
    }
    // The listed entries of a filled menu, between "| NORMAL |" and the logo,
    // in any order.
    static std::vector<std::wstring> entries_of(std::vector<std::wstring> texts)
    {
        EXPECT_GE(texts.size(), 2u);
        if (texts.size() < 2)
            return {};
        EXPECT_EQ(QV_NORMAL_TEXT, texts.front());
        EXPECT_EQ(L"| quorvane-shellex-3.0 |", texts.back());
        std::vector<std::wstring> entries(texts.begin() + 1, texts.end() - 1);
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    // Lists both folders once, so that the shell's icon cache holds what
    // the counted runs will need.
    void warm_up()
    {
        for (const temp_dir *folder : {&big, &small}) {
            HMENU menu = shell_menu();
            EXPECT_EQ(S_OK, initialize(folder->path()));
            reserve(menu);
            show(menu);
            DestroyMenu(menu);
        }
        release_object();
        create_object();
    }

    settings_scope settings;
    temp_dir big{L"qv-big"};
    temp_dir small{L"qv-small"};
    HWND window = NULL;
    IContextMenu *context_menu = nullptr;
    IShellExtInit *init = nullptr;
    launch_recorder recorder;
    std::vector<recorded_launch> &launches = recorder.launches;
    const std::vector<std::wstring> big_names = {L"big0.txt", L"big1.txt", L"big2.txt",
                                                 L"big3.txt", L"big4.txt", L"big5.txt"};
};

TEST_F(careless_host, SecondInitializeAndQueryShowAndLaunchOnlyTheSecondFolder)
{
    warm_up();
    long gdi_before = live_gdi_objects();
    ASSERT_GT(gdi_before, 0);

    HMENU first = shell_menu();
    ASSERT_EQ(S_OK, initialize(big.path()));
    ASSERT_EQ(6u + 10u, reserve(first));
    EXPECT_EQ(big_names, entries_of(show(first)));

    HMENU second = shell_menu();
    ASSERT_EQ(S_OK, initialize(small.path()));
    ASSERT_EQ(1u + 10u, reserve(second));
    EXPECT_EQ(std::vector<std::wstring>{L"small.txt"}, entries_of(show(second)));
    // The first folder's bitmaps went with its listing.
    int pictures = pictures_in(second);
    EXPECT_EQ(1, pictures);
    EXPECT_EQ(gdi_before + pictures, live_gdi_objects());

    EXPECT_EQ(S_OK, invoke(0));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(small / L"small.txt", launches[0].file);
    EXPECT_EQ(small.path(), launches[0].directory);
    EXPECT_FALSE(launches[0].has_parameters);
    // Offsets of the first folder's menu that lie past the new listing and
    // its logo launch nothing.
    launches.clear();
    for (UINT offset : {2u, 3u, 5u, 6u, 7u})
        EXPECT_EQ(E_INVALIDARG, invoke(offset)) << offset;
    EXPECT_TRUE(launches.empty());
    // Offset 1 is now the logo item.
    EXPECT_EQ(E_INVALIDARG, invoke(1));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(QV_HOME_PAGE, launches[0].file);

    DestroyMenu(first);
    DestroyMenu(second);
    release_object();
    EXPECT_EQ(gdi_before, live_gdi_objects());
}

TEST_F(careless_host, SecondInitializeWithoutQueryDropsTheFirstListing)
{
    warm_up();
    long gdi_before = live_gdi_objects();

    // Reserved for the first folder, not yet shown.
    HMENU first = shell_menu();
    ASSERT_EQ(S_OK, initialize(big.path()));
    ASSERT_EQ(6u + 10u, reserve(first));
    ASSERT_EQ(S_OK, initialize(small.path()));
    EXPECT_EQ(gdi_before, live_gdi_objects()) << "the first folder's bitmaps are gone";
    // Its names joined to the second folder would name files that do not
    // exist there (or the wrong ones): the reserved menu is not filled with
    // them, and none of its offsets launches anything.
    EXPECT_EQ(1u, show(first).size());
    for (UINT offset = 0; offset <= 7; offset++)
        EXPECT_TRUE(FAILED(invoke(offset))) << offset;
    EXPECT_TRUE(launches.empty());

    // The next reservation lists the second folder.
    HMENU second = shell_menu();
    ASSERT_EQ(1u + 10u, reserve(second));
    EXPECT_EQ(std::vector<std::wstring>{L"small.txt"}, entries_of(show(second)));
    EXPECT_EQ(S_OK, invoke(0));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(small / L"small.txt", launches[0].file);
    DestroyMenu(first);
    DestroyMenu(second);

    // A menu already shown for the first folder, then a file selected in
    // its place: no entry of that menu launches anything.
    launches.clear();
    HMENU shown = shell_menu();
    ASSERT_EQ(S_OK, initialize(big.path()));
    ASSERT_EQ(6u + 10u, reserve(shown));
    EXPECT_EQ(big_names, entries_of(show(shown)));
    ASSERT_EQ(S_OK, initialize(small / L"small.txt"));
    for (UINT offset = 0; offset <= 7; offset++)
        EXPECT_TRUE(FAILED(invoke(offset))) << offset;
    EXPECT_TRUE(launches.empty());
    DestroyMenu(shown);

    release_object();
    EXPECT_EQ(gdi_before, live_gdi_objects());
}

TEST_F(careless_host, InitializeThatChangesNothingKeepsTheListing)
{
    HMENU menu = shell_menu();
    ASSERT_EQ(S_OK, initialize(big.path()));
    ASSERT_EQ(6u + 10u, reserve(menu));
    std::vector<std::wstring> texts = show(menu);
    ASSERT_EQ(1u + 6u + 1u, texts.size());
    const std::wstring chosen = big / texts[3];

    // No data object: refused before anything is replaced.
    EXPECT_EQ(E_INVALIDARG, init->Initialize(NULL, NULL, NULL));
    EXPECT_EQ(S_OK, invoke(2));
    // The same folder selected again: its listing still describes it.
    EXPECT_EQ(S_OK, initialize(big.path()));
    EXPECT_EQ(S_OK, invoke(2));
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(chosen, launches[0].file);
    EXPECT_EQ(chosen, launches[1].file);
    EXPECT_EQ(big.path(), launches[1].directory);

    // A drop list whose first name is empty leaves no selection: nothing of
    // the listing launches any more.
    launches.clear();
    IDataObject *unnamed = hdrop_data_object({L"", big.path()});
    EXPECT_EQ(E_INVALIDARG, init->Initialize(NULL, unnamed, NULL));
    unnamed->Release();
    for (UINT offset = 0; offset <= 7; offset++)
        EXPECT_TRUE(FAILED(invoke(offset))) << offset;
    EXPECT_TRUE(launches.empty());
    DestroyMenu(menu);
}

TEST_F(careless_host, GetCommandStringWithoutRoomWritesNothing)
{
    ASSERT_EQ(S_OK, initialize(big.path()));
    const UINT kinds[] = {GCS_VERBA, GCS_VERBW, GCS_HELPTEXTA, GCS_HELPTEXTW, GCS_VALIDATEA, GCS_VALIDATEW};
    for (UINT kind : kinds) {
        // A text asked for without room fails, the ANSI help text's too;
        // validation succeeds; the ANSI verb and validation are never
        // answered.
        bool wide = kind & GCS_UNICODE;
        bool validation = kind & GCS_VALIDATEA;
        HRESULT without_room = wide && validation ? S_OK : E_INVALIDARG;
        wchar_t buffer[8];
        wmemset(buffer, L'#', 8);
        EXPECT_EQ(without_room, context_menu->GetCommandString(0, kind, NULL, NULL, 0)) << kind;
        EXPECT_EQ(without_room, context_menu->GetCommandString(0, kind, NULL, (CHAR *)buffer, 0)) << kind;
        EXPECT_EQ(without_room, context_menu->GetCommandString(0, kind, NULL, NULL, 0x7FFFFFFF)) << kind;
        // Other offsets are not answered, whatever the buffer.
        EXPECT_EQ(E_INVALIDARG, context_menu->GetCommandString(1, kind, NULL, NULL, 0)) << kind;
        EXPECT_EQ(E_INVALIDARG, context_menu->GetCommandString(1, kind, NULL, (CHAR *)buffer, 8)) << kind;
        for (wchar_t c : buffer)
            EXPECT_EQ(L'#', c) << kind;
    }
}

TEST_F(careless_host, MenuHandlesThatAreNoMenus)
{
    ASSERT_EQ(S_OK, initialize(big.path()));
    HMENU destroyed = shell_menu();
    DestroyMenu(destroyed);
    for (HMENU not_a_menu : {(HMENU)NULL, destroyed, (HMENU)window, (HMENU)(UINT_PTR)0x12345}) {
        EXPECT_EQ(0u, reserve(not_a_menu)) << not_a_menu;
        EXPECT_EQ(0, menu_hook_count()) << not_a_menu;
    }
    EXPECT_TRUE(FAILED(invoke(0))) << "nothing was reserved";
    EXPECT_TRUE(launches.empty());

    // A menu destroyed between reservation and display: its WM_INITMENU
    // fills nothing, leaks nothing, and no later menu is filled in its place.
    HMENU menu = shell_menu();
    ASSERT_EQ(6u + 10u, reserve(menu));
    DestroyMenu(menu);
    long gdi_before = live_gdi_objects();
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ(gdi_before, live_gdi_objects());
    HMENU later = shell_menu();
    EXPECT_EQ(1u, show(later).size());
    SendMessageW(window, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(later);
    // The hooks go with the object (TearDown).
}

// The same careless order through the registered module, created by CLSID
// as the shell creates it.  The files are of a type without any action, so a
// launch that should not happen cannot start a program.
TEST(careless_host_module, SecondInitializeWithoutQueryLaunchesNothing)
{
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
    temp_dir first(L"qv-first"), second(L"qv-second");
    for (int i = 0; i < 4; i++)
        ASSERT_TRUE(write_file(first / (L"old" + std::to_wstring(i) + L".qvnone")));
    ASSERT_TRUE(write_file(second / L"new.qvnone"));
    HWND window = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    IContextMenu *context_menu = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                     (void **)&context_menu));
    IShellExtInit *init = nullptr;
    ASSERT_EQ(S_OK, context_menu->QueryInterface(IID_IShellExtInit, (void **)&init));
    auto initialize = [&](const temp_dir &folder) {
        IDataObject *data = shell_data_object({folder.path()});
        ASSERT_NE(nullptr, data);
        EXPECT_EQ(S_OK, init->Initialize(NULL, data, NULL));
        data->Release();
    };

    HMENU menu = shell_menu();
    initialize(first);
    EXPECT_EQ(4u + 10u, HRESULT_CODE(context_menu->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL)));
    initialize(second);
    // Shown only now: left as the shell built it, and no offset launches.
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ(1, GetMenuItemCount(menu));
    for (UINT offset = 0; offset <= 5; offset++) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(offset);
        EXPECT_EQ(E_INVALIDARG, context_menu->InvokeCommand(&info)) << offset;
    }
    SendMessageW(window, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    init->Release();
    context_menu->Release();
    DestroyWindow(window);
    CoFreeUnusedLibraries();
    run_regsvr32(test_dll_path(), L"/u");
}

}  // namespace
