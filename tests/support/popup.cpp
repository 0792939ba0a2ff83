#include "popup.h"
#include "menu_forwarding.h"

namespace {
const UINT_PTR open_timer = 0x5170;
const UINT_PTR give_up_timer = 0x5171;
const std::function<bool()> *g_while_open;

void CALLBACK give_up(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    EndMenu();
}

void CALLBACK on_open(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    bool keep_open = g_while_open && *g_while_open && (*g_while_open)();
    if (!keep_open)
        EndMenu();
}

LRESULT CALLBACK forwarding_owner_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT answer = 0;
    IContextMenu *handler = (IContextMenu *)GetWindowLongPtrW(window, GWLP_USERDATA);
    if (forward_menu_message(handler, message, wParam, lParam, &answer))
        return answer;
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

namespace {
HWND owner_window(const wchar_t *class_name, WNDPROC procedure)
{
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = procedure;
    window_class.lpszClassName = class_name;
    RegisterClassW(&window_class);
    HWND owner = CreateWindowExW(0, class_name, L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    SetForegroundWindow(owner);
    return owner;
}
} // namespace

HWND popup_owner()
{
    return owner_window(L"qv-popup-owner", DefWindowProcW);
}

HWND popup_owner(IContextMenu *handler)
{
    HWND owner = owner_window(L"qv-forwarding-owner", forwarding_owner_proc);
    SetWindowLongPtrW(owner, GWLP_USERDATA, (LONG_PTR)handler);
    return owner;
}

UINT show_popup(HWND owner, HMENU menu, UINT delay_ms, const std::function<bool()> &while_open, UINT flags)
{
    g_while_open = &while_open;
    SetTimer(owner, open_timer, delay_ms, on_open);
    SetTimer(owner, give_up_timer, 5000, give_up);
    UINT chosen = (UINT)TrackPopupMenuEx(menu, flags, 20, 20, owner, NULL);
    KillTimer(owner, open_timer);
    KillTimer(owner, give_up_timer);
    g_while_open = nullptr;
    return chosen;
}

void mouse_at(POINT p, DWORD down, DWORD up)
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (INPUT &i : input) {
        i.type = INPUT_MOUSE;
        i.mi.dx = (p.x * 65535) / (w - 1);
        i.mi.dy = (p.y * 65535) / (h - 1);
    }
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = down | MOUSEEVENTF_ABSOLUTE;
    input[2].mi.dwFlags = up | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input[0], sizeof(INPUT));
    if (!down)
        return;
    Sleep(100);
    SendInput(2, &input[1], sizeof(INPUT));
}

int open_popups()
{
    int open = 0;
    for (HWND w = NULL; (w = FindWindowExW(NULL, w, L"#32768", NULL)) != NULL;)
        open += IsWindowVisible(w) ? 1 : 0;
    return open;
}

std::wstring item_text(HMENU menu, int position)
{
    wchar_t text[512] = L"";
    GetMenuStringW(menu, position, text, 512, MF_BYPOSITION);
    return text;
}
