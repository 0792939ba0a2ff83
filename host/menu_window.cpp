// The menu host's window: it owns the menu's modal loop, opens the menu the
// extension filled, and in that loop prints it, opens submenus with the
// mouse (--open), saves its picture or chooses an entry with the keyboard.
#include "menu_window.h"
#include <string>
#include "host_output.h"
#include "menu_dump.h"
#include "menu_forwarding.h"
#include "screenshot.h"

namespace {

const UINT_PTR open_timer = 1;
const UINT_PTR open_submenu_timer = 2;

struct host_state {
    host_options options;
    HMENU menu = NULL;
    IContextMenu *context_menu = NULL;  // its menu messages go to it, as Explorer's do
    int ticks = 0;
    size_t opened = 0;     // submenus of --open opened so far
    HMENU level = NULL;    // the menu the next of them is in
    int level_position = -1;
    bool entered = false;  // the menu's modal loop ran
    bool shown = false;    // the menu was printed from inside that loop
    int exit_code = exit_ok;
} state;

// Stand-ins for the entries the shell itself puts into a folder's menu.
HMENU shell_like_menu()
{
    HMENU menu = CreatePopupMenu();
    HMENU send_to = CreatePopupMenu();
    AppendMenuW(send_to, MF_STRING, 4, L"Compressed (zipped) folder");
    AppendMenuW(send_to, MF_STRING, 5, L"Desktop (create shortcut)");
    AppendMenuW(menu, MF_STRING, 1, L"&Open");
    AppendMenuW(menu, MF_STRING, 2, L"Open in new &window");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_POPUP, (UINT_PTR)send_to, L"Se&nd to");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING, 6, L"Cu&t");
    AppendMenuW(menu, MF_STRING, 7, L"&Copy");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING, 8, L"P&roperties");
    return menu;
}

HWND find_popup()
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM p) -> BOOL {
        wchar_t name[16];
        if (IsWindowVisible(w) && GetClassNameW(w, name, 16) && !wcscmp(name, L"#32768")) {
            *(HWND *)p = w;
            return FALSE;
        }
        return TRUE;
    }, (LPARAM)&found);
    return found;
}

void press(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void act_on_menu(HWND popup);

// --open: moves the pointer onto the next entry whose submenu is to open,
// then comes back once it had time to open.  Entry N of the top menu has
// identifier first_cmd + N; in a submenu it follows "." and a separator.
void open_next_submenu(HWND window)
{
    KillTimer(window, open_submenu_timer);
    if (state.opened == state.options.open.size()) {
        act_on_menu(find_popup());
        return;
    }
    int n = state.options.open[state.opened];
    bool top = state.opened == 0;
    HMENU level = top ? state.menu : state.level;
    int position = top ? find_menu_position(level, first_cmd + (UINT)n) : n + 2;
    HMENU submenu = position >= 0 ? GetSubMenu(level, position) : NULL;
    POINT aim = submenu ? menu_item_point(top ? window : NULL, level, position) : POINT{-1, -1};
    if (aim.y < 0) {
        fail_message(L"entry " + std::to_wstring(n) + L" opens no submenu (is CascadeFolders 1, and is it a sub-folder?)");
        state.exit_code = exit_no_entry;
        EndMenu();
        return;
    }
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = (aim.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = (aim.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof(move));
    state.level = submenu;
    state.opened++;
    SetTimer(window, open_submenu_timer, 700, NULL);
}

// Runs inside the menu's modal loop, once the menu is on the screen.
void on_menu_open(HWND window)
{
    HWND popup = find_popup();
    if (!popup && ++state.ticks < 50)
        return;  // not drawn yet
    KillTimer(window, open_timer);
    if (!state.options.open.empty()) {
        open_next_submenu(window);
        return;
    }
    act_on_menu(popup);
}

// Prints the menu as it is open, then saves its picture or chooses.
void act_on_menu(HWND popup)
{
    state.shown = true;
    out(L"Context menu of " + state.options.path + L":\n" + dump_menu(state.menu));
    const host_options &o = state.options;
    if (!o.screenshot.empty()) {
        UpdateWindow(popup);
        RECT rect = {};
        // With submenus open, the picture holds every open menu.
        HRESULT hr = !popup                ? HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE)
                     : o.open.empty()      ? save_window_png(popup, o.screenshot.c_str())
                                           : save_popups_png(o.screenshot.c_str(), &rect);
        if (SUCCEEDED(hr) && (!o.open.empty() || GetWindowRect(popup, &rect))) {
            out(L"picture saved to " + o.screenshot + L" (" + std::to_wstring(rect.right - rect.left) + L" x " +
                std::to_wstring(rect.bottom - rect.top) + L" pixels)\n");
        } else {
            fail_message(L"cannot save a picture to " + o.screenshot + L": " + hex(hr));
            state.exit_code = exit_no_picture;
        }
    }
    if (o.choose >= 0) {
        int position = find_menu_position(state.menu, first_cmd + (UINT)o.choose);
        if (position < 0) {
            fail_message(L"the menu has no entry " + std::to_wstring(o.choose));
            state.exit_code = exit_no_entry;
            EndMenu();
            return;
        }
        // As a user would: down to the entry, then Enter.
        for (int i = 0; i <= position; i++)
            press(VK_DOWN);
        press(VK_RETURN);
    } else if (!o.screenshot.empty() || o.close) {
        EndMenu();
    }
}

LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERMENULOOP)
        state.entered = true;
    if (message == WM_TIMER && wParam == open_timer) {
        on_menu_open(window);
        return 0;
    }
    if (message == WM_TIMER && wParam == open_submenu_timer) {
        open_next_submenu(window);
        return 0;
    }
    LRESULT answer = 0;
    if (forward_menu_message(state.context_menu, message, wParam, lParam, &answer))
        return answer;
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int show_menu(IContextMenu *context_menu, const host_options &options)
{
    state.options = options;
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = host_window_proc;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"qv-menu-host";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"qv-menu-host", L"qv-menu-host", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                  window_class.hInstance, NULL);
    DWORD error = window ? 0 : GetLastError();
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);

    state.menu = shell_like_menu();
    state.context_menu = context_menu;
    HRESULT hr = context_menu->QueryContextMenu(state.menu, 0, first_cmd, last_cmd, CMF_NORMAL);
    UINT reserved = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
    out(L"QueryContextMenu reserved " + std::to_wstring(reserved) + L" identifiers\n");

    UINT chosen = 0;
    if (window) {
        SetTimer(window, open_timer, 100, NULL);
        chosen = (UINT)TrackPopupMenuEx(state.menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 10, 10, window, NULL);
        error = GetLastError();
        PostMessageW(window, WM_NULL, 0, 0);
    }
    if (!state.entered) {
        // Without a display there is no window to own the menu, or no
        // screen to put it on.
        fail_message(L"the menu did not open" + (error ? L" (error " + std::to_wstring(error) + L")" : L"") +
                     L": it needs a display; on Linux, run Wine under xvfb-run");
        state.exit_code = exit_no_menu;
    } else if (!state.shown) {
        out(L"Context menu of " + state.options.path + L":\n" + dump_menu(state.menu));
    }

    if (chosen >= first_cmd && chosen < first_cmd + reserved) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.hwnd = window;
        info.lpVerb = MAKEINTRESOURCEA(chosen - first_cmd);
        info.nShow = SW_SHOWNORMAL;
        hr = context_menu->InvokeCommand(&info);
        out(L"chose entry " + std::to_wstring(chosen - first_cmd) + L": InvokeCommand returned " + hex(hr) + L"\n");
    } else if (chosen) {
        out(L"chose shell item " + std::to_wstring(chosen) + L"\n");
    } else if (state.options.choose >= 0 && state.exit_code == exit_ok) {
        fail_message(L"nothing was chosen");
        state.exit_code = exit_not_chosen;
    }
    DestroyMenu(state.menu);
    if (window)
        DestroyWindow(window);
    return state.exit_code;
}

