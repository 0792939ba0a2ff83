// Walking an open popup menu with real mouse input, as a user does.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

struct menu_walk {
    std::vector<std::wstring> path;  // item texts, one per level
    DWORD down = 0, up = 0;          // pressed and released on the last item
    // Runs just before the last item is clicked, with every submenu of the
    // way open (may be empty).
    std::function<void()> before_choice;
    std::vector<HMENU> opened;  // the submenus that opened on the way
};

// Opens `menu` with show_popup and, from timers of `owner` (so that the
// menu's own loop sees the pointer between the steps), moves the pointer
// over the items of walk->path one level after another, each opening its
// submenu, then presses and releases on the last one.  Returns what the
// popup returned (0: closed without a choice, or an item was not found).
UINT walk_menu(HWND owner, HMENU menu, menu_walk *walk);
