// The whole right-click cycle as Explorer drives it: the module registered
// with regsvr32 and created by CLSID, initialised with the shell's data
// object, a real popup menu filled by the hooks, an entry chosen with real
// keyboard and mouse input, and a real launch through the shell.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include "common/qv_clsid.h"
#include "popup.h"
#include "test_support.h"

namespace {

const UINT first_cmd = 100;

// File types of the probe program: ".qvopen" has only "open"; ".qvedit"
// has "open" and "edit", each passing its verb after the file name.
void register_probe_types()
{
    std::wstring probe = L"\"" + test_bin_dir() + L"\\qv_probe.exe\" \"%1\"";
    auto set = [](const std::wstring &key, const std::wstring &value) {
        reg_set_value(HKEY_LOCAL_MACHINE, key, NULL, REG_SZ, value.c_str(), (DWORD)((value.size() + 1) * 2));
    };
    set(L"Software\\Classes\\.qvopen", L"QuorvaneOpenOnly");
    set(L"Software\\Classes\\QuorvaneOpenOnly\\shell\\open\\command", probe + L" open");
    set(L"Software\\Classes\\.qvedit", L"QuorvaneEditable");
    set(L"Software\\Classes\\QuorvaneEditable\\shell\\open\\command", probe + L" open");
    set(L"Software\\Classes\\QuorvaneEditable\\shell\\edit\\command", probe + L" edit");
}

void unregister_probe_types()
{
    for (const wchar_t *key : {L"Software\\Classes\\.qvopen", L"Software\\Classes\\QuorvaneOpenOnly",
                               L"Software\\Classes\\.qvedit", L"Software\\Classes\\QuorvaneEditable"})
        reg_delete_tree(HKEY_LOCAL_MACHINE, key);
}

std::string narrow(const std::wstring &text)
{
    return std::string(text.begin(), text.end());
}

struct popup_run {
    HMENU menu = NULL;
    HWND window = NULL;
    int target = -1;            // position of the item to choose
    bool right_button = false;  // choose with a button release instead of Enter
    bool left_button = false;
    // Before choosing, pass over "| NORMAL |" until its submenu opens, or
    // right-click it.
    bool hover_normal = false;
    bool right_click_normal = false;
    bool submenu_opened = false;
    int items_seen = -1;
    std::wstring first_text, last_text;
    int pictures = 0;
} run;

void send_key(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

// Closes a menu that the input did not close, so that a failure cannot hang.
void CALLBACK give_up(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    EndMenu();
}

// Where the menu's own hit test finds the item at `position` of the open
// popup; {-1, -1} when it finds it nowhere.
POINT aim_at(int position)
{
    return menu_item_point(run.window, run.menu, position);
}

// Releases the chosen button on the target item (or types its way there).
void CALLBACK choose_target(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    if (run.hover_normal || run.right_click_normal)
        run.submenu_opened = open_popups() >= 2;
    if (run.right_button || run.left_button) {
        POINT aim = aim_at(run.target);
        if (aim.y < 0)
            EndMenu();
        else if (run.right_button)
            mouse_at(aim, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        else
            mouse_at(aim, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    } else {
        for (int i = 0; i <= run.target; i++)
            send_key(VK_DOWN);
        send_key(VK_RETURN);
    }
}

// Runs inside the menu loop once the popup is open: looks at the menu, then
// chooses the target item, by way of "| NORMAL |" when asked to.
void CALLBACK on_open(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    SetTimer(window, 2, 5000, give_up);
    run.items_seen = GetMenuItemCount(run.menu);
    run.first_text = item_text(run.menu, 0);
    run.last_text = item_text(run.menu, run.items_seen - 1);
    for (int i = 0; i < run.items_seen; i++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP;
        if (GetMenuItemInfoW(run.menu, i, TRUE, &info) && info.hbmpItem)
            run.pictures++;
    }
    if (run.target < 0) {
        EndMenu();
        return;
    }
    if (run.hover_normal || run.right_click_normal) {
        POINT normal = aim_at(0);
        if (normal.y < 0) {
            EndMenu();
            return;
        }
        if (run.right_click_normal)
            mouse_at(normal, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        else
            mouse_at(normal, 0, 0);
        // Long enough for the submenu to open under the pointer.
        SetTimer(window, 3, 1000, choose_target);
        return;
    }
    choose_target(window, 0, 0, 0);
}

class right_click_cycle : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
        register_probe_types();
    }
    static void TearDownTestSuite()
    {
        unregister_probe_types();
        run_regsvr32(test_dll_path(), L"/u");
    }

    void SetUp() override
    {
        // The whole listing is wanted: the widest time limit, so that a busy
        // machine does not show a part of it.
        settings.set(L"ListingTimeLimit", 5000);
        make_dir(folder / L"Sub");
        write_file(folder / L"alpha.qvopen", "probe");
        write_file(folder / L"beta.qvedit", "probe");
        write_file(folder / L"skip.dll", "MZ");

        WNDCLASSW window_class = {};
        window_class.lpfnWndProc = DefWindowProcW;
        window_class.lpszClassName = L"qv-test-owner";
        RegisterClassW(&window_class);
        run = popup_run();
        run.window = CreateWindowExW(0, L"qv-test-owner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
        SetForegroundWindow(run.window);

        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu, (void **)&menu));
        IShellExtInit *init = nullptr;
        ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, (void **)&init));
        IDataObject *data = shell_data_object({folder.path()});
        ASSERT_NE(nullptr, data);
        EXPECT_EQ(S_OK, init->Initialize(NULL, data, NULL));
        data->Release();
        init->Release();
    }
    void TearDown() override
    {
        if (menu)
            menu->Release();
        DestroyWindow(run.window);
    }

    // The shell's own items, a separator and a submenu among them.
    HMENU shell_menu()
    {
        HMENU popup = CreatePopupMenu();
        HMENU send_to = CreatePopupMenu();
        AppendMenuW(send_to, MF_STRING, 5, L"Desktop");
        AppendMenuW(popup, MF_STRING, 1, L"Open");
        AppendMenuW(popup, MF_SEPARATOR, 0, NULL);
        AppendMenuW(popup, MF_POPUP, (UINT_PTR)send_to, L"Send to");
        AppendMenuW(popup, MF_STRING, 2, L"Properties");
        return popup;
    }

    // Reserves, opens the popup, chooses the item with identifier `id` (or
    // nothing), and returns what TrackPopupMenuEx returned.
    UINT open_and_choose(UINT id, bool right_button)
    {
        run.menu = shell_menu();
        HRESULT hr = menu->QueryContextMenu(run.menu, 0, first_cmd, 0x7FFF, CMF_NORMAL);
        reserved = HRESULT_CODE(hr);
        EXPECT_EQ(4, GetMenuItemCount(run.menu)) << "nothing is inserted before the menu opens";
        run.right_button = right_button;
        run.submenu_opened = false;
        SetTimer(run.window, 1, 300, on_open);
        run.target = id ? (int)position_of_entry : -1;
        UINT chosen = (UINT)TrackPopupMenuEx(run.menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, 20, 20, run.window, NULL);
        KillTimer(run.window, 2);
        return chosen;
    }

    HRESULT invoke(UINT id)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.hwnd = run.window;
        info.lpVerb = MAKEINTRESOURCEA(id - first_cmd);
        info.nShow = SW_SHOWNORMAL;
        return menu->InvokeCommand(&info);
    }

    // Listing order is the file system's: find an entry's offset by name
    // with a first, look-only run of the menu.
    UINT offset_of(const std::wstring &name)
    {
        open_and_choose(0, false);
        UINT found = (UINT)-1;
        for (int i = 0; i < GetMenuItemCount(run.menu); i++) {
            if (item_text(run.menu, i) == name)
                found = GetMenuItemID(run.menu, i) - first_cmd;
        }
        DestroyMenu(run.menu);
        position_of_entry = found + 1;
        return found;
    }

    // Chooses the entry `name` in the open popup, invokes what the popup
    // returned, and gives the probe's report of the launch.
    std::string choose_and_launch(const std::wstring &name, bool right_button)
    {
        UINT offset = offset_of(name);
        EXPECT_NE((UINT)-1, offset);
        UINT chosen = open_and_choose(first_cmd + offset, right_button);
        DestroyMenu(run.menu);
        EXPECT_EQ(first_cmd + offset, chosen);
        if (chosen != first_cmd + offset)
            return "";
        // The hooks went with the menu: input after it closed changes no verb.
        MSG msg;
        PostMessageW(run.window, WM_RBUTTONUP, 0, 0);
        PeekMessageW(&msg, run.window, WM_RBUTTONUP, WM_RBUTTONUP, PM_REMOVE);
        EXPECT_EQ(S_OK, invoke(chosen));
        return wait_for_file(folder / name + L".out", true);
    }

    settings_scope settings;
    temp_dir folder{L"qv-cycle"};
    IContextMenu *menu = nullptr;
    UINT reserved = 0;
    UINT position_of_entry = 0;
};

TEST_F(right_click_cycle, MenuShowsEntriesNormalFirstAndLogoLast)
{
    UINT chosen = open_and_choose(0, false);
    EXPECT_EQ(0u, chosen);
    EXPECT_EQ(3u + 10u, reserved);
    // "| NORMAL |", three entries (the .dll is left out), the logo.
    EXPECT_EQ(5, run.items_seen);
    EXPECT_EQ(L"| NORMAL |", run.first_text);
    EXPECT_EQ(L"| quorvane-shellex-3.0 |", run.last_text);
    EXPECT_EQ(3, run.pictures);
    HMENU normal = GetSubMenu(run.menu, 0);
    ASSERT_NE(nullptr, normal);
    ASSERT_EQ(4, GetMenuItemCount(normal));
    EXPECT_EQ(L"Open", item_text(normal, 0));
    EXPECT_TRUE(GetMenuState(normal, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_NE(nullptr, GetSubMenu(normal, 2));
    EXPECT_EQ(L"Properties", item_text(normal, 3));
    DestroyMenu(run.menu);
}

TEST_F(right_click_cycle, EnterLaunchesTheEntryInTheListedFolder)
{
    std::string report = choose_and_launch(L"beta.qvedit", false);
    EXPECT_EQ(narrow(folder.path()) + "\n" + narrow(folder / L"beta.qvedit") + "\nopen\n", report);
}

TEST_F(right_click_cycle, RightButtonReleaseAsksForEdit)
{
    std::string report = choose_and_launch(L"beta.qvedit", true);
    EXPECT_NE(std::string::npos, report.find("\nedit\n")) << report;
}

TEST_F(right_click_cycle, EditOnATypeWithoutEditStillOpens)
{
    std::string report = choose_and_launch(L"alpha.qvopen", true);
    EXPECT_NE(std::string::npos, report.find("\nopen\n")) << report;
}

TEST_F(right_click_cycle, HooksGoWithTheMenuAndTheModuleCanUnload)
{
    open_and_choose(0, false);
    DestroyMenu(run.menu);
    menu->Release();
    menu = nullptr;
    // The module's own answer, through its export.
    HMODULE module = GetModuleHandleW(test_dll_path().c_str());
    ASSERT_NE(nullptr, module);
    typedef HRESULT(WINAPI * can_unload_fn)(void);
    can_unload_fn can_unload = (can_unload_fn)(void *)GetProcAddress(module, "DllCanUnloadNow");
    ASSERT_NE(nullptr, can_unload);
    EXPECT_EQ(S_OK, can_unload());
    CoFreeUnusedLibraries();
}

TEST_F(right_click_cycle, PassingOverNormalKeepsTheButtonsMeaning)
{
    // "| NORMAL |" lies under the pointer: its submenu opens and closes on the
    // way to an entry, and the button released on the entry still counts.
    run.hover_normal = true;
    std::string report = choose_and_launch(L"beta.qvedit", true);
    EXPECT_TRUE(run.submenu_opened);
    EXPECT_NE(std::string::npos, report.find("\nedit\n")) << report;

    run.left_button = true;
    report = choose_and_launch(L"beta.qvedit", false);
    EXPECT_TRUE(run.submenu_opened);
    EXPECT_NE(std::string::npos, report.find("\nopen\n")) << report;

    // A right-click on "| NORMAL |" first, then a left-button release on the entry.
    run.hover_normal = false;
    run.right_click_normal = true;
    report = choose_and_launch(L"beta.qvedit", false);
    EXPECT_NE(std::string::npos, report.find("\nopen\n")) << report;
}

}  // namespace
