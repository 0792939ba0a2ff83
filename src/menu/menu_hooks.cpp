// The two thread hooks that serve the menus of a thread's sessions.
#include "menu/menu_hooks.h"
#include "menu/live_pictures.h"
#include "menu/menu_population.h"
#include "menu/menu_session.h"
#include "menu/thread_menus.h"

static bool owns_menu(qv_menu_session *session, void *menu)
{
    return session->menu && session->menu == (HMENU)menu;
}

struct submenu_match {
    HMENU popup;
    UINT index;
};

static bool owns_submenu(qv_menu_session *session, void *context)
{
    submenu_match *match = (submenu_match *)context;
    match->index = session_submenu_of(session, match->popup);
    return match->index != QV_TOP_MENU;
}

static bool record_input(qv_menu_session *session, void *message)
{
    if (session->open)
        session->last_input_msg = (UINT)(UINT_PTR)message;
    return false;
}

// A menu that opens: filled once, from the session that reserved it last.
static void menu_opens(HMENU menu)
{
    qv_menu_session *session = thread_menus_find(owns_menu, menu);
    if (!session)
        return;
    session->open = true;
    if (session->pending) {
        session->pending = false;
        // A menu destroyed since its reservation gets nothing, not even pictures.
        if (IsMenu(menu))
            populate_menu(session, menu);
    }
    live_pictures_start(session);
}

static void popup_opens(HMENU popup)
{
    submenu_match match = {popup, QV_TOP_MENU};
    qv_menu_session *session = thread_menus_find(owns_submenu, &match);
    if (session)
        populate_submenu(session, match.index);
}

// The hooks stay while the session lives: the host may show the same menu
// again.  Input after a close counts no more.
static void popup_closes(HMENU popup)
{
    qv_menu_session *session = thread_menus_find(owns_menu, popup);
    if (session) {
        session->open = false;
        session->pending = false;
        live_pictures_stop(session);
        return;
    }
    submenu_match match = {popup, QV_TOP_MENU};
    session = thread_menus_find(owns_submenu, &match);
    if (session)
        session_close_submenu(session, match.index);
}

LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const CWPRETSTRUCT *ret = (const CWPRETSTRUCT *)lParam;
        HMENU menu = (HMENU)ret->wParam;
        if (menu && ret->message == WM_INITMENU)
            menu_opens(menu);
        else if (menu && ret->message == WM_INITMENUPOPUP)
            popup_opens(menu);  // a sub-folder's submenu is listed only when it opens
        else if (menu && ret->message == WM_UNINITMENUPOPUP)
            popup_closes(menu);
    }
    // The hook handle argument is ignored by every Windows since NT.
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}

LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HC_ACTION) {
        const MSG *msg = (const MSG *)lParam;
        if (msg->message == WM_KEYDOWN || msg->message == WM_LBUTTONUP || msg->message == WM_RBUTTONUP)
            thread_menus_find(record_input, (void *)(UINT_PTR)msg->message);
    }
    return CallNextHookEx(NULL, nCode, wParam, lParam);
}
