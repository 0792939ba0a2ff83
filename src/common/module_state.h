// Module-wide state: the module handle and the counts that keep the module
// loaded.  The state of the menu being shown is kept per thread by
// menu/menu_state.h.
#pragma once
#include <windows.h>

extern HINSTANCE g_module;
// Live objects + class factory references + server locks.  Changed only with
// interlocked operations.
extern LONG volatile OutstandingObjects;
// Live objects + class factory references, without the server locks: an
// unbalanced LockServer(FALSE) cannot hide a live object from
// DllCanUnloadNow.  Changed only with interlocked operations.
extern LONG volatile g_module_users;
