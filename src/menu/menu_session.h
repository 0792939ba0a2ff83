// The menu session of one extension object: the menu its QueryContextMenu
// reserved, the command identifiers, the submenus of sub-folders with their
// listings and identifiers, the pictures shown and the last input.  The
// session lives inside the object and goes with it (or with its next
// QueryContextMenu); the thread that shows the menu only knows which
// sessions have menus on it (thread_menus.h).
#pragma once
#include <windows.h>
#include "common/qv_config.h"
#include "common/qv_item_list.h"
#include "menu/identifier_pool.h"
#include "menu/menu_pictures.h"
#include "menu/menu_typing.h"

// Submenus of ours that the menus of one right-click hold at most: each is a
// USER object, and Windows gives a process 10,000 of them in all, shared
// with the shell's own windows.  Past the bound a sub-folder is a plain
// entry that opens it.
#define QV_MAX_SUBMENUS 1000

// One menu being filled: where the next item goes and how many items a
// column holds.
struct qv_menu_fill {
    HMENU menu;
    int inserted;    // items placed so far: the next position
    int per_column;  // items per menu column
};

// What the menus show: the owner's listing and settings, which outlive the
// session (it lives inside the owner).
struct qv_menu_source {
    qv_item_list *list;  // the top menu's entries; their pictures may still come
    const qv_config *config;
    const WCHAR *folder;       // the folder they were listed from
    bool desktop_ok;
};

enum qv_submenu_state {
    qv_submenu_unused,   // a free record
    qv_submenu_waiting,  // empty, listed when it opens
    qv_submenu_open,
    qv_submenu_closed,   // filled and closed: its identifiers may be taken back
};

// A sub-folder shown as a submenu.  Its first item, ".", opens the folder
// itself with the identifier of the item that leads to the submenu (an item
// with a submenu sends no command).
struct qv_submenu {
    qv_submenu_state state;
    HMENU popup;
    UINT item_id;      // identifier of its item in the menu above
    UINT parent;       // the submenu it lies in, or QV_TOP_MENU
    bool partial;      // not listed in full: listed again when it reopens
    ULONGLONG closed_at;  // order of closing, for taking back the oldest first
    WCHAR folder[MAX_PATH];
    DWORD attributes;   // the folder's, as the listing above gave them
    qv_item_list list;  // its listing once filled; owned here
    struct qv_job *listing_job;  // held while its pictures may still come (listing_job.h)
    UINT *ids;          // heap: the identifier of each entry of `list` that has one
    UINT id_count;
};

#define QV_TOP_MENU 0xFFFFFFFFu

struct qv_menu_session {
    qv_menu_source source;
    DWORD thread_id;      // thread whose hooks serve the menu; 0: none
    qv_menu_session *next_on_thread;
    HMENU menu;           // the reserved menu
    bool pending;         // waits for its first WM_INITMENU to be filled
    bool open;            // input counts: from the reservation or a WM_INITMENU to its close
    UINT first_cmd;
    UINT last_cmd;        // end (exclusive) of the reserved block
    UINT last_input_msg;  // the last WM_KEYDOWN, WM_LBUTTONUP or WM_RBUTTONUP
    qv_menu_typing typing;  // what was typed in its menus, for WM_MENUCHAR
    qv_menu_fill fill;    // the reserved menu's
    qv_identifier_pool pool;
    qv_menu_pictures pictures;  // of all the menus of this reservation
    struct qv_job *listing_job;  // the top menu's, held while its pictures may still come
    UINT_PTR pictures_timer;     // live_pictures.h; 0: none
    DWORD pictures_thread;
    ULONGLONG closings;   // submenus closed so far
    qv_submenu *submenus;  // heap; submenu_count records, some unused
    UINT submenu_count;
    UINT submenu_capacity;
    UINT live_submenus;    // records in use
    SRWLOCK lock;          // the submenus and pool, against InvokeCommand on another thread
};

// QueryContextMenu: replaces what the session held by the reservation of
// `menu` on the calling thread, whose hooks then serve it.  Identifiers from
// `pool_first` up to `last_cmd` are kept for the entries of submenus (none
// when `pool_first` is 0).  False, with the session empty, when the thread
// cannot serve it.
bool session_start(qv_menu_session *session, const qv_menu_source &source, HMENU menu, UINT first_cmd,
                   UINT last_cmd, UINT pool_first);
// Everything of the session goes: its place on its thread, the submenus'
// listings and the identifiers.  The menus themselves are the shell's.
// Safe on an empty session, and from any thread.
void session_end(qv_menu_session *session);
// The owner now names another item: a menu reserved but not yet filled is
// left as the shell built it.
void session_forget_listing(qv_menu_session *session);

// The submenu entry that identifier `id` stands for, at any depth: copies
// its folder and name.  False for any other identifier.
bool session_entry(qv_menu_session *session, UINT id, WCHAR folder[MAX_PATH], WCHAR name[MAX_PATH]);

// Records `popup`, the submenu of the item `item_id` in submenu `parent` (or
// QV_TOP_MENU), as the sub-folder `folder` with the attributes its listing
// gave it.  False when it cannot be
// recorded (QV_MAX_SUBMENUS reached, no memory, a path too long): the item
// then stays a plain entry.
bool session_add_submenu(qv_menu_session *session, HMENU popup, UINT item_id, UINT parent, const WCHAR *folder,
                         DWORD attributes);
// The submenu recorded for `popup`, or QV_TOP_MENU.
UINT session_submenu_of(const qv_menu_session *session, HMENU popup);
// Identifiers a submenu that opens now can have: the free ones and those of
// closed submenus, which it may take back.
UINT session_ids_available(const qv_menu_session *session);
// Stores `listing` (taken over) as the listing of submenu `index` and gives
// its entries identifiers, emptying closed submenus, oldest first, when the
// free ones do not suffice.  Returns how many entries, from the first, got
// one: submenus->ids holds them.
UINT session_fill_submenu(qv_menu_session *session, UINT index, qv_item_list *listing, bool partial);
// Empties submenu `index`: its items, the submenus below it, its listing,
// its identifiers; it is listed again when it opens.
void session_empty_submenu(qv_menu_session *session, UINT index);
// Holds `job`, a listing whose pictures may still come (listing_job.h), for
// the menu `index` (or QV_TOP_MENU) until the menu is emptied or the session
// ends: so long, its worker goes on.  Lets go of what the menu held before.
void session_hold_listing(qv_menu_session *session, UINT index, struct qv_job *job);
// WM_UNINITMENUPOPUP of a submenu.
void session_close_submenu(qv_menu_session *session, UINT index);
