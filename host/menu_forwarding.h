// Menu messages passed on to a context-menu handler, as Explorer's windows
// pass them while a context menu they own is open.
#pragma once
#include <windows.h>
#include <shlobj.h>

// For the window procedure of the window that owns the open menu of
// `menu`: hands WM_INITMENUPOPUP, WM_DRAWITEM, WM_MEASUREITEM and
// WM_MENUCHAR to IContextMenu3::HandleMenuMsg2, or the first three to
// IContextMenu2::HandleMenuMsg when that is all the handler offers.  True
// when the handler answered: the window then returns `*result`.  False for
// other messages, a null `menu`, or a handler that left the message alone.
bool forward_menu_message(IContextMenu *menu, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result);
