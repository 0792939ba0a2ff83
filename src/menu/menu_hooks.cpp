// The two thread hooks of the menu being shown.
#include "common/module_state.h"
#include "common/trace.h"
#include "menu/menu_hooks.h"
#include "menu/menu_population.h"

void rehook_menu()
{
    qv_cleanup_hook();
    g_hhook = qv_set_thread_hook(WH_CALLWNDPROCRET, menu_ret_hook);
    g_hhook3 = qv_set_thread_hook(WH_GETMESSAGE, menu_input_hook);
    trace("rehook_menu: g_hhook=%p g_hhook3=%p OutstandingObjects=%d\n",
          (void *)g_hhook, (void *)g_hhook3, (int)OutstandingObjects);
}

LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const CWPRETSTRUCT *ret = (const CWPRETSTRUCT *)lParam;
        HMENU menu = (HMENU)ret->wParam;
        if (ret->message == WM_INITMENU) {
            // Filled at most once per reservation, and only the reserved menu.
            if (g_active_menu && g_active_menu == menu && g_pending_menu && g_pending_menu == menu) {
                g_pending_menu = NULL;
                if (g_active_ext)
                    populate_menu(menu);
            }
        } else if (ret->message == WM_UNINITMENUPOPUP) {
            qv_cleanup_hook();
            if (g_active_menu && g_active_menu == menu)
                g_active_menu = NULL;
        }
    }
    return CallNextHookEx(g_hhook, nCode, wParam, lParam);
}

LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const MSG *msg = (const MSG *)lParam;
        if (msg->message == WM_KEYDOWN || msg->message == WM_LBUTTONUP || msg->message == WM_RBUTTONUP)
            g_last_input_msg = msg->message;
    }
    return CallNextHookEx(g_hhook3, nCode, wParam, lParam);
}
