// Filling of the context menu when it is initialised for display.
#pragma once
#include <windows.h>

struct qv_menu_fill;

#define QV_NORMAL_TEXT L"| NORMAL |"
#define QV_LOGO_TEXT "| quorvane-shellex-3.0 |"

// Screen metrics used for the column height; a seam for tests, normally
// GetSystemMetrics.
extern int (WINAPI *g_menu_metrics)(int index);

// Rebuilds `hmenu` from the calling thread's reserved menu (menu_state(),
// whose object is set when called).
void populate_menu(HMENU hmenu);
// Fills the submenu of a sub-folder as it opens (WM_INITMENUPOPUP), once:
// ".", which opens the folder, then its listing, each sub-folder again a
// submenu.  Any other popup is left alone.
void populate_submenu(HMENU popup);
// Inserts one item at position fill->inserted, starting a new column when
// due.  Returns the result of InsertMenuItemW.
BOOL insert_item(qv_menu_fill *fill, MENUITEMINFOW *item);
// Moves every item of `from` into `to`, keeping order and properties.
void move_menu_items(HMENU from, HMENU to);
