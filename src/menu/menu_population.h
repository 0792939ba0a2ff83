// Filling of the context menu when it is initialised for display.
#pragma once
#include <windows.h>

struct qv_menu_fill;
struct qv_menu_session;

#define QV_NORMAL_TEXT L"| NORMAL |"
#define QV_LOGO_TEXT "| quorvane-shellex-3.0 |"

// Screen metrics used for the column height; a seam for tests, normally
// GetSystemMetrics.
extern int (WINAPI *g_menu_metrics)(int index);

// Rebuilds `hmenu`, the session's reserved menu, from the session's listing.
void populate_menu(qv_menu_session *session, HMENU hmenu);
// Fills submenu `index` of the session as it opens (WM_INITMENUPOPUP):
// ".", which opens the folder, then its listing, each sub-folder again a
// submenu.  A submenu shown before stays as it is, unless it was listed only
// in part or emptied for its identifiers: then it is listed again.
void populate_submenu(qv_menu_session *session, UINT index);
// Inserts one item at position fill->inserted, starting a new column when
// due.  Returns the result of InsertMenuItemW.
BOOL insert_item(qv_menu_fill *fill, MENUITEMINFOW *item);
// Moves every item of `from` into `to`, keeping order and properties.
void move_menu_items(HMENU from, HMENU to);
