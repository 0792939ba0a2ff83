// Showing a popup menu for real, as the shell does, from a test.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <functional>
#include <string>
#include "menu_dump.h"  // menu_item_point, shared with the menu host

// A visible top-level window to own popups (menus need one to open).
HWND popup_owner();
// The same, passing the menu messages it gets on to `handler` as Explorer's
// windows do (forward_menu_message).  `handler` must outlive the window.
HWND popup_owner(IContextMenu *handler);
// Real mouse input (SendInput reaches an open popup under Xvfb): moves the
// pointer to `p`, then presses `down` and releases `up` there (both 0: only
// the move).
void mouse_at(POINT p, DWORD down, DWORD up);
// The text of the item at `position` of `menu`.
std::wstring item_text(HMENU menu, int position);
// Visible popup menu windows of the process.
int open_popups();

// Opens `menu` with TrackPopupMenuEx(flags) at (20, 20), so that the menu's
// own WM_INITMENU, WM_INITMENUPOPUP and WM_UNINITMENUPOPUP really happen.
// Once it has been open for `delay_ms`, runs `while_open` inside the menu
// loop; the menu is closed then, unless `while_open` returns true (it chose
// or will choose an item itself), and in any case after five seconds.
// Returns what TrackPopupMenuEx returned.
UINT show_popup(HWND owner, HMENU menu, UINT delay_ms = 10, const std::function<bool()> &while_open = {},
                UINT flags = TPM_RETURNCMD | TPM_RIGHTBUTTON);
