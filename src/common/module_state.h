// Module-wide state: the module handle, the object count, and the state of
// the context menu being shown.
#pragma once
#include <windows.h>

class qv_shellex;

extern HINSTANCE g_module;
// Live objects + class factory references + server locks.  Changed only with
// interlocked operations.
extern LONG volatile OutstandingObjects;

// State of the context menu being shown.  Each shell thread shows its own
// menus, so this state is kept per thread: a menu on one thread never sees
// another thread's listing or hooks.
extern thread_local qv_shellex *g_active_ext;  // not owning
extern thread_local HMENU g_active_menu;
extern thread_local HMENU g_pending_menu;
extern thread_local UINT g_first_cmd;
extern thread_local UINT g_last_cmd;       // end (exclusive) of the reserved block
extern thread_local UINT g_last_input_msg;
extern thread_local HHOOK g_hhook;         // WH_CALLWNDPROCRET
extern thread_local HHOOK g_hhook3;        // WH_GETMESSAGE

// Installs a hook on the calling thread and records it process-wide, so that
// DllCanUnloadNow and process detach know of it.  Returns null on failure.
HHOOK qv_set_thread_hook(int id, HOOKPROC proc);
// Removes a hook installed by qv_set_thread_hook and clears the handle.
void qv_unhook(HHOOK *hook);
// Number of hooks of this module installed on any thread.
LONG qv_installed_hooks();
// Removes every hook this module installed, on every thread (process detach).
void qv_unhook_all();

// Removes both hooks of the calling thread, whichever object installed them.
void qv_cleanup_hook();
