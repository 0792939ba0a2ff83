// Which menu sessions have menus on each thread, and the thread's two
// message hooks that serve them.  The table lives and dies with the module:
// no thread-local storage, so loading and unloading the module leaves
// nothing of it behind.  This file owns the hooks.
#pragma once
#include <windows.h>

struct qv_menu_session;

// Registers `session` on the calling thread, installing the thread's hooks
// when it has none.  False when no record is free or a hook cannot be
// installed.
bool thread_menus_add(qv_menu_session *session);
// Unregisters `session` from its thread, from any thread; the hooks go with
// the thread's last session.
void thread_menus_remove(qv_menu_session *session);
// The sessions of the calling thread, newest first: calls `visit` on each
// until it returns true, and returns that session (or null).
qv_menu_session *thread_menus_find(bool (*visit)(qv_menu_session *session, void *context), void *context);
// Thread detach: the ending thread's sessions lose their menus and hooks.
void thread_menus_drop_thread();
// Module unload: every hook goes, on every thread.
void thread_menus_drop_all();
// Hooks installed on any thread; their procedures live in this module.
LONG menu_hook_count();
