// The records of the menus being shown, one per thread, in a fixed table
// that lives and dies with the module: no thread-local storage, so loading
// and unloading the module leaves nothing of it behind.
#include "menu/menu_state.h"
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include "common/module_state.h"
#include "common/trace.h"
#include "listing/folder_listing.h"
#include "menu/menu_hooks.h"

// Threads that show one of our menus at the same time.
#define QV_MENU_RECORDS 64

// A record is claimed by writing its thread id with an interlocked
// exchange; after that only its own thread touches it, except at module
// unload, when no other thread runs our code.
static qv_menu_state g_menus[QV_MENU_RECORDS];
static LONG volatile g_hook_count;

static qv_menu_state *record_of(DWORD thread)
{
    for (qv_menu_state &record : g_menus) {
        if (record.thread_id == thread)
            return &record;
    }
    return NULL;
}

static qv_menu_state *own_record()
{
    return record_of(GetCurrentThreadId());
}

static qv_menu_state *claim_record()
{
    DWORD thread = GetCurrentThreadId();
    qv_menu_state *record = record_of(thread);
    if (record)
        return record;
    for (qv_menu_state &free_record : g_menus) {
        if (InterlockedCompareExchange((LONG volatile *)&free_record.thread_id, (LONG)thread, 0) == 0)
            return &free_record;
    }
    return NULL;
}

static void unhook(HHOOK *hook)
{
    if (!*hook)
        return;
    UnhookWindowsHookEx(*hook);
    *hook = NULL;
    InterlockedDecrement(&g_hook_count);
}

static void remove_hooks(qv_menu_state *record)
{
    trace("menu hooks removed: ret=%p input=%p OutstandingObjects=%d\n",
          (void *)record->ret_hook, (void *)record->input_hook, (int)OutstandingObjects);
    unhook(&record->ret_hook);
    unhook(&record->input_hook);
}

static HHOOK hook(int id, HOOKPROC procedure)
{
    HHOOK handle = SetWindowsHookExW(id, procedure, NULL, GetCurrentThreadId());
    if (handle)
        InterlockedIncrement(&g_hook_count);
    return handle;
}

// The submenus' listings and pictures go; their menus are the shell's.
static void drop_submenus(qv_menu_state *record)
{
    for (UINT i = 0; i < record->submenu_count; i++)
        list_clear(&record->submenus[i].list);
    free(record->submenus);
    record->submenus = NULL;
    record->submenu_count = 0;
    record->submenu_capacity = 0;
}

static void release_record(qv_menu_state *record)
{
    remove_hooks(record);
    drop_submenus(record);
    DWORD thread = record->thread_id;
    memset((char *)record + sizeof(record->thread_id), 0, sizeof(*record) - sizeof(record->thread_id));
    InterlockedCompareExchange((LONG volatile *)&record->thread_id, 0, (LONG)thread);
}

const qv_menu_state *menu_state()
{
    return own_record();
}

bool menu_start(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd, UINT pool_first)
{
    qv_menu_state *record = claim_record();
    if (!record)
        return false;
    remove_hooks(record);
    drop_submenus(record);
    record->fill = qv_menu_fill{};
    record->pictures = 0;
    record->pool_next = pool_first && pool_first < last_cmd ? pool_first : last_cmd;
    record->pool_end = last_cmd;
    record->ext = ext;
    record->active_menu = menu;
    record->pending_menu = menu;
    record->first_cmd = first_cmd;
    record->last_cmd = last_cmd;
    record->last_input_msg = 0;
    record->ret_hook = hook(WH_CALLWNDPROCRET, menu_ret_hook);
    record->input_hook = hook(WH_GETMESSAGE, menu_input_hook);
    trace("menu hooks installed: ret=%p input=%p OutstandingObjects=%d\n",
          (void *)record->ret_hook, (void *)record->input_hook, (int)OutstandingObjects);
    // Without its hooks the menu would never be filled: reserve nothing.
    if (!record->ret_hook || !record->input_hook) {
        release_record(record);
        return false;
    }
    return true;
}

bool menu_take_pending(HMENU menu)
{
    qv_menu_state *record = own_record();
    if (!record || !menu || record->active_menu != menu || record->pending_menu != menu)
        return false;
    record->pending_menu = NULL;
    return record->ext != NULL;
}

void menu_end(HMENU menu)
{
    qv_menu_state *record = own_record();
    if (!record || !menu || record->active_menu != menu)
        return;
    // The identifiers and the last input stay for the command that follows.
    remove_hooks(record);
    record->active_menu = NULL;
    record->pending_menu = NULL;
}

void menu_record_input(UINT message)
{
    qv_menu_state *record = own_record();
    if (record)
        record->last_input_msg = message;
}

UINT menu_last_input()
{
    const qv_menu_state *record = own_record();
    return record ? record->last_input_msg : 0;
}

void menu_forget_listing(qv_shellex *ext)
{
    qv_menu_state *record = own_record();
    if (record && record->ext == ext)
        record->pending_menu = NULL;
}

void menu_forget_object(qv_shellex *ext)
{
    qv_menu_state *own = own_record();
    if (own && own->ext == ext) {
        release_record(own);
        return;
    }
    // Released on another thread than the one that reserved its menu (a host
    // that breaks the apartment rules): that menu must not fill from it.
    for (qv_menu_state &record : g_menus) {
        if (record.thread_id && record.ext == ext)
            InterlockedCompareExchangePointer((PVOID volatile *)&record.ext, NULL, ext);
    }
}

void menu_drop_thread()
{
    qv_menu_state *record = own_record();
    if (record)
        release_record(record);
}

void menu_drop_all()
{
    for (qv_menu_state &record : g_menus) {
        if (record.thread_id)
            release_record(&record);
    }
}

LONG menu_hook_count()
{
    return g_hook_count;
}

qv_menu_fill *menu_fill()
{
    qv_menu_state *record = own_record();
    return record ? &record->fill : NULL;
}

bool menu_add_submenu(HMENU popup, UINT item_id, const WCHAR *folder)
{
    qv_menu_state *record = own_record();
    if (!record || wcslen(folder) >= MAX_PATH)
        return false;
    if (record->submenu_count == record->submenu_capacity) {
        UINT grown = record->submenu_capacity ? record->submenu_capacity * 2 : 16;
        void *moved = realloc(record->submenus, grown * sizeof(qv_submenu));
        if (!moved)
            return false;
        record->submenus = (qv_submenu *)moved;
        record->submenu_capacity = grown;
    }
    qv_submenu *submenu = &record->submenus[record->submenu_count++];
    memset(submenu, 0, sizeof(*submenu));
    submenu->popup = popup;
    submenu->item_id = item_id;
    wcscpy(submenu->folder, folder);
    return true;
}

qv_submenu *menu_submenu_to_fill(HMENU popup)
{
    qv_menu_state *record = own_record();
    if (!record || !popup || !record->ext)
        return NULL;
    for (UINT i = 0; i < record->submenu_count; i++) {
        qv_submenu *submenu = &record->submenus[i];
        if (submenu->popup == popup && !submenu->filled) {
            submenu->filled = true;
            return submenu;
        }
    }
    return NULL;
}

UINT menu_take_ids(UINT64 wanted, UINT *count)
{
    qv_menu_state *record = own_record();
    *count = 0;
    if (!record)
        return 0;
    UINT left = record->pool_end - record->pool_next;
    *count = wanted < left ? (UINT)wanted : left;
    UINT first = record->pool_next;
    record->pool_next += *count;
    return first;
}

UINT menu_pool_left()
{
    const qv_menu_state *record = own_record();
    return record ? record->pool_end - record->pool_next : 0;
}

UINT64 menu_pictures_left()
{
    const qv_menu_state *record = own_record();
    UINT64 used = record ? record->pictures : 0;
    return used < QV_MAX_PICTURES ? QV_MAX_PICTURES - used : 0;
}

void menu_count_pictures(UINT64 pictures)
{
    qv_menu_state *record = own_record();
    if (record)
        record->pictures += pictures;
}

bool menu_find_entry(UINT id, const qv_submenu **submenu, UINT64 *index)
{
    const qv_menu_state *record = own_record();
    if (!record)
        return false;
    for (UINT i = 0; i < record->submenu_count; i++) {
        const qv_submenu *each = &record->submenus[i];
        if (each->list.entry_count && id >= each->first_id && id - each->first_id < each->list.entry_count) {
            *submenu = each;
            *index = id - each->first_id;
            return true;
        }
    }
    return false;
}
