// Module-wide state: the module handle and the counts that keep the module
// loaded.  Each object's menu is kept in its own session
// (menu/menu_session.h); the threads that show menus, with their hooks, in
// menu/thread_menus.h.
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
