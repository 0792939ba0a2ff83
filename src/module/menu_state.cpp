// The records of the menus being shown, one per thread, in a fixed table
// that lives and dies with the module: no thread-local storage, so loading
// and unloading the module leaves nothing of it behind.
#include "module/menu_state.h"
#include <string.h>
#include "common/module_state.h"
#include "common/trace.h"
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

static void release_record(qv_menu_state *record)
{
    remove_hooks(record);
    DWORD thread = record->thread_id;
    memset((char *)record + sizeof(record->thread_id), 0, sizeof(*record) - sizeof(record->thread_id));
    InterlockedCompareExchange((LONG volatile *)&record->thread_id, 0, (LONG)thread);
}

const qv_menu_state *menu_state()
{
    return own_record();
}

bool menu_start(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd)
{
    qv_menu_state *record = claim_record();
    if (!record)
        return false;
    remove_hooks(record);
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
