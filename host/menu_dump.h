// Text form of a menu as it is shown.
#pragma once
#include <windows.h>
#include <string>

// One line per item: position, text, identifier, picture, column break;
// submenus indented below their item.
std::wstring dump_menu(HMENU menu, int depth = 0);
// Position of the item with identifier `id`, or -1.
int find_menu_position(HMENU menu, UINT id);
