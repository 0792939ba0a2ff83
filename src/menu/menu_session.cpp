// The menu session of one extension object.
#include "menu/menu_session.h"
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include "common/room_for_one.h"
#include "listing/listing_job.h"
#include "menu/live_pictures.h"
#include "menu/thread_menus.h"

// Another session of this thread that had reserved `menu`: the newer
// reservation takes the menu over, so it no longer fills or counts input.
static bool give_up_menu(qv_menu_session *other, void *menu)
{
    if (other->menu == (HMENU)menu) {
        other->menu = NULL;
        other->pending = false;
        other->open = false;
    }
    return false;
}

static void drop_submenu_records(qv_menu_session *session)
{
    for (UINT i = 0; i < session->submenu_count; i++) {
        list_clear(&session->submenus[i].list);
        free(session->submenus[i].ids);
        listing_let_go(session->submenus[i].listing_job);
    }
    free(session->submenus);
    session->submenus = NULL;
    session->submenu_count = 0;
    session->submenu_capacity = 0;
    session->live_submenus = 0;
}

void session_end(qv_menu_session *session)
{
    live_pictures_stop(session);
    thread_menus_remove(session);
    AcquireSRWLockExclusive(&session->lock);
    drop_submenu_records(session);
    pool_clear(&session->pool);
    pictures_clear(&session->pictures);
    listing_let_go(session->listing_job);
    ReleaseSRWLockExclusive(&session->lock);
    memset(session, 0, sizeof(*session));
    InitializeSRWLock(&session->lock);
}

bool session_start(qv_menu_session *session, const qv_menu_source &source, HMENU menu, UINT first_cmd,
                   UINT last_cmd, UINT pool_first)
{
    session_end(session);
    session->source = source;
    session->menu = menu;
    session->pending = true;
    session->open = true;
    session->first_cmd = first_cmd;
    session->last_cmd = last_cmd;
    if (pool_first && pool_first < last_cmd)
        pool_init(&session->pool, pool_first, last_cmd);
    thread_menus_find(give_up_menu, menu);
    if (!thread_menus_add(session)) {
        session_end(session);
        return false;
    }
    return true;
}

void session_forget_listing(qv_menu_session *session)
{
    session->pending = false;
}

bool session_entry(qv_menu_session *session, UINT id, WCHAR folder[MAX_PATH], WCHAR name[MAX_PATH])
{
    bool found = false;
    AcquireSRWLockShared(&session->lock);
    UINT index, entry;
    if (pool_owner(&session->pool, id, &index, &entry) && index < session->submenu_count) {
        const qv_submenu *submenu = &session->submenus[index];
        if (entry < submenu->list.entry_count) {
            const WCHAR *entry_name = list_name(&submenu->list, entry);
            if (wcslen(entry_name) < MAX_PATH) {
                wcscpy(folder, submenu->folder);
                wcscpy(name, entry_name);
                found = true;
            }
        }
    }
    ReleaseSRWLockShared(&session->lock);
    return found;
}

static qv_submenu *free_record(qv_menu_session *session, UINT *index)
{
    for (UINT i = 0; i < session->submenu_count; i++) {
        if (session->submenus[i].state == qv_submenu_unused) {
            *index = i;
            return &session->submenus[i];
        }
    }
    if (!room_for_one(&session->submenus, session->submenu_count, &session->submenu_capacity))
        return NULL;
    *index = session->submenu_count++;
    return &session->submenus[*index];
}

bool session_add_submenu(qv_menu_session *session, HMENU popup, UINT item_id, UINT parent, const WCHAR *folder,
                         DWORD attributes)
{
    if (session->live_submenus >= QV_MAX_SUBMENUS || wcslen(folder) >= MAX_PATH)
        return false;
    AcquireSRWLockExclusive(&session->lock);
    UINT index;
    qv_submenu *submenu = free_record(session, &index);
    if (submenu) {
        memset(submenu, 0, sizeof(*submenu));
        submenu->state = qv_submenu_waiting;
        submenu->popup = popup;
        submenu->item_id = item_id;
        submenu->parent = parent;
        submenu->attributes = attributes;
        wcscpy(submenu->folder, folder);
        session->live_submenus++;
    }
    ReleaseSRWLockExclusive(&session->lock);
    return submenu != NULL;
}

UINT session_submenu_of(const qv_menu_session *session, HMENU popup)
{
    for (UINT i = 0; i < session->submenu_count; i++) {
        if (session->submenus[i].state != qv_submenu_unused && session->submenus[i].popup == popup)
            return i;
    }
    return QV_TOP_MENU;
}

UINT session_ids_available(const qv_menu_session *session)
{
    UINT available = session->pool.free_count;
    for (UINT i = 0; i < session->submenu_count; i++) {
        if (session->submenus[i].state == qv_submenu_closed)
            available += session->submenus[i].id_count;
    }
    return available;
}

// Frees what submenu `index` holds, and the records of the submenus below it,
// whose popups went with its items.  Call with the lock held.
static void empty_locked(qv_menu_session *session, UINT index)
{
    for (UINT i = 0; i < session->submenu_count; i++) {
        qv_submenu *child = &session->submenus[i];
        if (child->state != qv_submenu_unused && child->parent == index) {
            empty_locked(session, i);
            child->state = qv_submenu_unused;
            child->popup = NULL;
            session->live_submenus--;
        }
    }
    qv_submenu *submenu = &session->submenus[index];
    pool_release(&session->pool, index);
    list_clear(&submenu->list);
    listing_let_go(submenu->listing_job);
    submenu->listing_job = NULL;
    free(submenu->ids);
    submenu->ids = NULL;
    submenu->id_count = 0;
    submenu->partial = false;
    submenu->state = qv_submenu_waiting;
}

void session_empty_submenu(qv_menu_session *session, UINT index)
{
    HMENU popup = session->submenus[index].popup;
    // Its items go first, destroying the popups of the submenus below it.
    for (int i = GetMenuItemCount(popup) - 1; i >= 0; i--)
        DeleteMenu(popup, (UINT)i, MF_BYPOSITION);
    AcquireSRWLockExclusive(&session->lock);
    empty_locked(session, index);
    ReleaseSRWLockExclusive(&session->lock);
}

// The submenu closed longest ago that still holds identifiers.
static UINT oldest_closed(const qv_menu_session *session)
{
    UINT oldest = QV_TOP_MENU;
    for (UINT i = 0; i < session->submenu_count; i++) {
        const qv_submenu *s = &session->submenus[i];
        if (s->state == qv_submenu_closed && s->id_count &&
            (oldest == QV_TOP_MENU || s->closed_at < session->submenus[oldest].closed_at))
            oldest = i;
    }
    return oldest;
}

UINT session_fill_submenu(qv_menu_session *session, UINT index, qv_item_list *listing, bool partial)
{
    UINT wanted = listing->entry_count < session->pool.size ? (UINT)listing->entry_count : session->pool.size;
    // A closed submenu keeps its entries, so that a choice made in it still
    // launches, until another submenu needs its identifiers.
    while (session->pool.free_count < wanted) {
        UINT oldest = oldest_closed(session);
        if (oldest == QV_TOP_MENU)
            break;
        session_empty_submenu(session, oldest);
    }
    UINT *ids = wanted ? (UINT *)malloc(wanted * sizeof(UINT)) : NULL;
    AcquireSRWLockExclusive(&session->lock);
    qv_submenu *submenu = &session->submenus[index];
    submenu->list = *listing;
    memset(listing, 0, sizeof(*listing));
    submenu->partial = partial;
    submenu->state = qv_submenu_open;
    UINT taken = 0;
    if (ids) {
        while (taken < wanted) {
            UINT id = pool_take(&session->pool, index, taken);
            if (!id)
                break;
            ids[taken++] = id;
        }
    }
    submenu->ids = ids;
    submenu->id_count = taken;
    ReleaseSRWLockExclusive(&session->lock);
    return taken;
}

void session_hold_listing(qv_menu_session *session, UINT index, qv_job *job)
{
    AcquireSRWLockExclusive(&session->lock);
    qv_job **held = index == QV_TOP_MENU ? &session->listing_job : &session->submenus[index].listing_job;
    listing_let_go(*held);
    *held = job;
    ReleaseSRWLockExclusive(&session->lock);
}

void session_close_submenu(qv_menu_session *session, UINT index)
{
    qv_submenu *submenu = &session->submenus[index];
    if (submenu->state == qv_submenu_open) {
        submenu->state = qv_submenu_closed;
        submenu->closed_at = ++session->closings;
    }
}
