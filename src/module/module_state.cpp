// Module-wide state and the bookkeeping of the message hooks.
#include "common/module_state.h"
#include "common/trace.h"

HINSTANCE g_module;
LONG volatile OutstandingObjects;

thread_local qv_shellex *g_active_ext;
thread_local HMENU g_active_menu;
thread_local HMENU g_pending_menu;
thread_local UINT g_first_cmd;
thread_local UINT g_last_cmd;
thread_local UINT g_last_input_msg;
thread_local HHOOK g_hhook;
thread_local HHOOK g_hhook3;

// Every hook installed by the module, on any thread.  Two per thread that
// shows one of our menus; the slots are claimed and released with
// interlocked exchanges, so no lock is needed.
#define QV_HOOK_SLOTS 128
static HHOOK volatile g_hook_slots[QV_HOOK_SLOTS];
static LONG volatile g_hook_count;

HHOOK qv_set_thread_hook(int id, HOOKPROC proc)
{
    HHOOK hook = SetWindowsHookExW(id, proc, NULL, GetCurrentThreadId());
    if (!hook)
        return NULL;
    for (int i = 0; i < QV_HOOK_SLOTS; i++) {
        if (!InterlockedCompareExchangePointer((PVOID volatile *)&g_hook_slots[i], hook, NULL)) {
            InterlockedIncrement(&g_hook_count);
            return hook;
        }
    }
    // No slot left: a hook we could not remove at unload must not exist.
    UnhookWindowsHookEx(hook);
    return NULL;
}

void qv_unhook(HHOOK *hook)
{
    if (!*hook)
        return;
    for (int i = 0; i < QV_HOOK_SLOTS; i++) {
        if (InterlockedCompareExchangePointer((PVOID volatile *)&g_hook_slots[i], NULL, *hook) == *hook) {
            InterlockedDecrement(&g_hook_count);
            break;
        }
    }
    UnhookWindowsHookEx(*hook);
    *hook = NULL;
}

LONG qv_installed_hooks()
{
    return g_hook_count;
}

void qv_unhook_all()
{
    for (int i = 0; i < QV_HOOK_SLOTS; i++) {
        HHOOK hook = (HHOOK)InterlockedExchangePointer((PVOID volatile *)&g_hook_slots[i], NULL);
        if (hook) {
            UnhookWindowsHookEx(hook);
            InterlockedDecrement(&g_hook_count);
        }
    }
    g_hhook = NULL;
    g_hhook3 = NULL;
}

void qv_cleanup_hook()
{
    trace("qv_cleanup_hook: g_hhook=%p g_hhook3=%p OutstandingObjects=%d\n",
          (void *)g_hhook, (void *)g_hhook3, (int)OutstandingObjects);
    qv_unhook(&g_hhook);
    qv_unhook(&g_hhook3);
}
