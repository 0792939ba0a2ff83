// The two thread hooks of the menu being shown.
#include "menu/menu_hooks.h"
#include "menu/menu_population.h"
#include "menu/menu_state.h"

LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const CWPRETSTRUCT *ret = (const CWPRETSTRUCT *)lParam;
        HMENU menu = (HMENU)ret->wParam;
        if (ret->message == WM_INITMENU) {
            // Filled at most once per reservation, and only the reserved menu.
            if (menu_take_pending(menu))
                populate_menu(menu);
        } else if (ret->message == WM_INITMENUPOPUP) {
            // A sub-folder's submenu is listed only when it opens.
            populate_submenu(menu);
        } else if (ret->message == WM_UNINITMENUPOPUP) {
            // "| NORMAL |" sits under the pointer: its submenu opens and
            // closes while the menu stays open, and the hooks must stay too.
            menu_end(menu);
        }
    }
    // The hook handle argument is ignored by every Windows since NT.
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const MSG *msg = (const MSG *)lParam;
        if (msg->message == WM_KEYDOWN || msg->message == WM_LBUTTONUP || msg->message == WM_RBUTTONUP)
            menu_record_input(msg->message);
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}
