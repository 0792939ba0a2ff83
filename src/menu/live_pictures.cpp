// Own pictures put into an open menu as they arrive.
#include "menu/live_pictures.h"
#include "common/module_state.h"
#include "listing/listing_job.h"
#include "menu/menu_session.h"
#include "menu/thread_menus.h"

// Often enough that a picture shows soon after it is found, seldom enough
// that an idle menu costs nothing.
#define QV_LIVE_PICTURES_MS 100

static bool has_timer(qv_menu_session *session, void *timer)
{
    return session->pictures_timer == (UINT_PTR)timer;
}

// Redraws the open popup windows of this thread that show `menu`.
static void redraw_menu(HMENU menu)
{
    DWORD thread = GetCurrentThreadId();
    for (HWND w = NULL; (w = FindWindowExW(NULL, w, L"#32768", NULL)) != NULL;) {
        if (GetWindowThreadProcessId(w, NULL) == thread && (HMENU)SendMessageW(w, MN_GETHMENU, 0, 0) == menu)
            InvalidateRect(w, NULL, FALSE);
    }
}

// Gives every entry of the top menu the picture its listing now has.
static void show_pictures(qv_menu_session *session)
{
    const qv_item_list *list = session->source.list;
    bool changed = false;
    for (UINT64 j = 0; j < list->entry_count && session->first_cmd + j < session->last_cmd; j++) {
        HBITMAP picture = picture_of(&session->pictures, list->entries[j].icon);
        MENUITEMINFOW item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_BITMAP;
        UINT id = (UINT)(session->first_cmd + j);
        if (!picture || !GetMenuItemInfoW(session->menu, id, FALSE, &item) || item.hbmpItem == picture)
            continue;
        item.hbmpItem = picture;
        changed = SetMenuItemInfoW(session->menu, id, FALSE, &item) || changed;
    }
    if (changed)
        redraw_menu(session->menu);
}

static void CALLBACK on_tick(HWND window, UINT message, UINT_PTR timer, DWORD time)
{
    (void)window, (void)message, (void)time;
    qv_menu_session *session = thread_menus_find(has_timer, (void *)timer);
    if (!session) {
        // Its session ended on another thread.
        KillTimer(NULL, timer);
        InterlockedDecrement(&g_module_users);
        return;
    }
    bool done = true;
    if (session->listing_job && session->source.list &&
        listing_take_pictures(session->listing_job, session->source.list, &done) && session->menu)
        show_pictures(session);
    if (done)
        live_pictures_stop(session);
}

void live_pictures_start(qv_menu_session *session)
{
    if (session->pictures_timer || !session->listing_job || !session->source.list)
        return;
    // The timer's procedure is in this module: it stays loaded while the
    // timer lives.
    InterlockedIncrement(&g_module_users);
    session->pictures_timer = SetTimer(NULL, 0, QV_LIVE_PICTURES_MS, on_tick);
    session->pictures_thread = GetCurrentThreadId();
    if (!session->pictures_timer)
        InterlockedDecrement(&g_module_users);
}

void live_pictures_stop(qv_menu_session *session)
{
    UINT_PTR timer = session->pictures_timer;
    session->pictures_timer = 0;
    if (timer && session->pictures_thread == GetCurrentThreadId()) {
        KillTimer(NULL, timer);
        InterlockedDecrement(&g_module_users);
    }
}
