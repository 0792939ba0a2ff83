// The menu session of a thread: the context menu it shows, the object that
// fills it, its command identifiers, the submenus of sub-folders with their
// listings, the last input seen, and the thread's two message hooks.  One
// record per thread that shows one of our menus; the functions below are
// the only way to it.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"

class qv_shellex;

// One menu being filled: where the next item goes and how many items a
// column holds.
struct qv_menu_fill {
    HMENU menu;
    int inserted;    // items placed so far: the next position
    int per_column;  // items per menu column
};

// A sub-folder shown as a submenu, listed and filled when it opens.  Its
// first item, ".", opens the folder itself with the identifier of the item
// that leads to the submenu (an item with a submenu sends no command).
struct qv_submenu {
    HMENU popup;
    UINT item_id;          // identifier of its item in the menu above
    bool filled;
    UINT first_id;         // entry j of `list` has first_id + j
    WCHAR folder[MAX_PATH];
    qv_item_list list;     // its listing once it opened; owned here
};

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
    qv_menu_fill fill;    // the reserved menu's
    UINT pool_next;       // identifiers left for the entries of submenus:
    UINT pool_end;        //   pool_next up to pool_end (exclusive)
    UINT64 pictures;      // pictures in all the menus of this reservation
    qv_submenu *submenus;  // heap; submenu_count of them in use
    UINT submenu_count;
    UINT submenu_capacity;
};

// The calling thread's record, or null when it has none.
const qv_menu_state *menu_state();

// QueryContextMenu: records `menu` for `ext` on the calling thread and
// installs both hooks, replacing whatever the thread had reserved before.
// False, with nothing kept, when no record is free or a hook cannot be
// installed.
// Identifiers from `pool_first` up to `last_cmd` are kept for the entries of
// submenus (none when `pool_first` is 0).
bool menu_start(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd, UINT pool_first = 0);
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

// The fill of the calling thread's reserved menu, or null.
qv_menu_fill *menu_fill();
// Records `popup`, the submenu of the item `item_id`, as the sub-folder
// `folder` (at most MAX_PATH - 1 characters), to be listed when it opens.
// False when it cannot be recorded: the item then stays a plain entry.
bool menu_add_submenu(HMENU popup, UINT item_id, const WCHAR *folder);
// WM_INITMENUPOPUP: the submenu recorded for `popup` when it still waits to
// be filled (once), else null.
qv_submenu *menu_submenu_to_fill(HMENU popup);
// Takes up to `wanted` identifiers from the pool; returns the first and sets
// *count to how many were taken (0 when the pool is spent).
UINT menu_take_ids(UINT64 wanted, UINT *count);
// Identifiers left in the pool.
UINT menu_pool_left();
// Pictures the menus of this reservation may still show, out of
// QV_MAX_PICTURES, and the counting of those shown.
UINT64 menu_pictures_left();
void menu_count_pictures(UINT64 pictures);
// The submenu entry that identifier `id` stands for, at any depth: the
// submenu and the entry's index in its listing.  False for any other id.
bool menu_find_entry(UINT id, const qv_submenu **submenu, UINT64 *index);
