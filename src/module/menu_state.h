// The state of the context menu a thread is showing: the object that fills
// it, its command identifiers, the last input seen, and the thread's two
// message hooks.  One record per thread that shows one of our menus; the
// functions below are the only way to it.
#pragma once
#include <windows.h>

class qv_shellex;

struct qv_menu_state {
    DWORD thread_id;      // the owning thread; 0 marks a free record
    qv_shellex *ext;      // the object whose reservation this is; not owning
    HMENU active_menu;    // the reserved menu, until it closes
    HMENU pending_menu;   // the same menu, until it is filled
    UINT first_cmd;
    UINT last_cmd;        // end (exclusive) of the reserved block
    UINT last_input_msg;  // the last WM_KEYDOWN, WM_LBUTTONUP or WM_RBUTTONUP
    HHOOK ret_hook;       // WH_CALLWNDPROCRET
    HHOOK input_hook;     // WH_GETMESSAGE
};

// The calling thread's record, or null when it has none.
const qv_menu_state *menu_state();

// QueryContextMenu: records `menu` for `ext` on the calling thread and
// installs both hooks, replacing whatever the thread had reserved before.
// False, with nothing kept, when no record is free or a hook cannot be
// installed.
bool menu_start(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd);
// WM_INITMENU: true once per reservation, when `menu` is the reserved menu
// and still waits to be filled.
bool menu_take_pending(HMENU menu);
// WM_UNINITMENUPOPUP: when `menu` is the reserved menu itself, its hooks go.
// A submenu closing changes nothing.
void menu_end(HMENU menu);
// The input hook: remembers a key or button event.
void menu_record_input(UINT message);
// The last key or button event of the thread's menu, or 0.
UINT menu_last_input();
// Initialize: `ext` now names another item, so a menu reserved for it but
// not yet shown is left as the shell built it.
void menu_forget_listing(qv_shellex *ext);
// Destruction of `ext`: when it owns the thread's record, the record and its
// hooks go.
void menu_forget_object(qv_shellex *ext);
// Thread detach: the ending thread's record and hooks go.
void menu_drop_thread();
// Module unload: every record and hook goes, on every thread.
void menu_drop_all();
// Hooks installed on any thread; their procedures live in this module.
LONG menu_hook_count();
