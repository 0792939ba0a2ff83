// The threads that show menus of ours: their hooks and their sessions.
#include "menu/thread_menus.h"
#include <string.h>
#include "common/module_state.h"
#include "common/trace.h"
#include "menu/live_pictures.h"
#include "menu/menu_hooks.h"
#include "menu/menu_session.h"

// Threads that show menus of ours at the same time.
#define QV_MENU_THREADS 64

struct thread_record {
    DWORD thread_id;  // 0 marks a free record
    HHOOK ret_hook;    // WH_CALLWNDPROCRET
    HHOOK input_hook;  // WH_GETMESSAGE
    qv_menu_session *sessions;  // newest first, linked by next_on_thread
};

// The hooks run on their own thread; an object may be released on another
// one (a host that breaks the apartment rules): every change holds the lock.
static SRWLOCK g_lock = SRWLOCK_INIT;
static thread_record g_threads[QV_MENU_THREADS];
static LONG volatile g_hook_count;

static thread_record *record_of(DWORD thread)
{
    for (thread_record &record : g_threads) {
        if (record.thread_id == thread)
            return &record;
    }
    return NULL;
}

static HHOOK hook(int id, HOOKPROC procedure)
{
    HHOOK handle = SetWindowsHookExW(id, procedure, NULL, GetCurrentThreadId());
    if (handle)
        InterlockedIncrement(&g_hook_count);
    return handle;
}

static void unhook(HHOOK *handle)
{
    if (!*handle)
        return;
    UnhookWindowsHookEx(*handle);
    *handle = NULL;
    InterlockedDecrement(&g_hook_count);
}

// The record's sessions lose their thread, and the record its hooks.
static void release_record(thread_record *record)
{
    trace("menu hooks removed: ret=%p input=%p OutstandingObjects=%d\n", (void *)record->ret_hook,
          (void *)record->input_hook, (int)OutstandingObjects);
    for (qv_menu_session *s = record->sessions; s;) {
        qv_menu_session *next = s->next_on_thread;
        s->thread_id = 0;
        s->next_on_thread = NULL;
        s = next;
    }
    unhook(&record->ret_hook);
    unhook(&record->input_hook);
    memset(record, 0, sizeof(*record));
}

bool thread_menus_add(qv_menu_session *session)
{
    DWORD thread = GetCurrentThreadId();
    AcquireSRWLockExclusive(&g_lock);
    thread_record *record = record_of(thread);
    if (!record) {
        record = record_of(0);
        if (record) {
            record->thread_id = thread;
            record->ret_hook = hook(WH_CALLWNDPROCRET, menu_ret_hook);
            record->input_hook = hook(WH_GETMESSAGE, menu_input_hook);
            trace("menu hooks installed: ret=%p input=%p OutstandingObjects=%d\n", (void *)record->ret_hook,
                  (void *)record->input_hook, (int)OutstandingObjects);
            // Without its hooks a menu would never be filled.
            if (!record->ret_hook || !record->input_hook) {
                release_record(record);
                record = NULL;
            }
        }
    }
    if (record) {
        session->thread_id = thread;
        session->next_on_thread = record->sessions;
        record->sessions = session;
    }
    ReleaseSRWLockExclusive(&g_lock);
    return record != NULL;
}

void thread_menus_remove(qv_menu_session *session)
{
    AcquireSRWLockExclusive(&g_lock);
    thread_record *record = session->thread_id ? record_of(session->thread_id) : NULL;
    if (record) {
        for (qv_menu_session **link = &record->sessions; *link; link = &(*link)->next_on_thread) {
            if (*link == session) {
                *link = session->next_on_thread;
                break;
            }
        }
        if (!record->sessions)
            release_record(record);
    }
    session->thread_id = 0;
    session->next_on_thread = NULL;
    ReleaseSRWLockExclusive(&g_lock);
}

qv_menu_session *thread_menus_find(bool (*visit)(qv_menu_session *session, void *context), void *context)
{
    qv_menu_session *found = NULL;
    AcquireSRWLockShared(&g_lock);
    thread_record *record = record_of(GetCurrentThreadId());
    for (qv_menu_session *s = record ? record->sessions : NULL; s && !found; s = s->next_on_thread) {
        if (visit(s, context))
            found = s;
    }
    ReleaseSRWLockShared(&g_lock);
    return found;
}

void thread_menus_drop_thread()
{
    AcquireSRWLockExclusive(&g_lock);
    thread_record *record = record_of(GetCurrentThreadId());
    // The thread's timers end with it: the module is no longer held for them.
    for (qv_menu_session *s = record ? record->sessions : NULL; s; s = s->next_on_thread)
        live_pictures_stop(s);
    if (record)
        release_record(record);
    ReleaseSRWLockExclusive(&g_lock);
}

void thread_menus_drop_all()
{
    AcquireSRWLockExclusive(&g_lock);
    for (thread_record &record : g_threads) {
        if (record.thread_id)
            release_record(&record);
    }
    ReleaseSRWLockExclusive(&g_lock);
}

LONG menu_hook_count()
{
    return g_hook_count;
}
