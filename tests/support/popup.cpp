#include "popup.h"

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
} // namespace

HWND popup_owner()
{
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.lpszClassName = L"qv-popup-owner";
    RegisterClassW(&window_class);
    HWND owner = CreateWindowExW(0, L"qv-popup-owner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, NULL, NULL,
                                 NULL, NULL);
    SetForegroundWindow(owner);
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
