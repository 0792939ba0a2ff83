// Text form of a menu as it is shown.
#pragma once
#include <windows.h>
#include <string>

// One line per item: position, text, identifier, picture, column break;
// submenus indented below their item.
std::wstring dump_menu(HMENU menu, int depth = 0);
// Position of the item with identifier `id`, or -1.
int find_menu_position(HMENU menu, UINT id);
// A point that the menu's own hit test finds on the item at `position` of
// the open popup `menu`, or {-1, -1}.  `owner` is the window that opened
// the menu, or null for a submenu, whose window is found from the menu.
// (Under Wine the item's rectangle and the hit test can disagree by a few
// pixels, so the point is searched for.)
POINT menu_item_point(HWND owner, HMENU menu, int position);
