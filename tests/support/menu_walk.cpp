#include "menu_walk.h"
#include "popup.h"

namespace {

const UINT_PTR step_timer = 0x5200;

struct walk_state {
    menu_walk *walk;
    HMENU level;
    size_t next;
    int position;
};
walk_state g_walking;

int position_in(HMENU menu, const std::wstring &text)
{
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        if (item_text(menu, i) == text)
            return i;
    }
    return -1;
}

void CALLBACK step(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    walk_state &w = g_walking;
    if (w.next > 0) {
        // The item passed over last must have opened its submenu.
        HMENU submenu = GetSubMenu(w.level, w.position);
        if (!submenu) {
            EndMenu();
            return;
        }
        w.walk->opened.push_back(submenu);
        w.level = submenu;
    }
    w.position = position_in(w.level, w.walk->path[w.next]);
    // A submenu's own window is found from the menu alone.
    HWND menu_window = w.walk->opened.empty() ? window : NULL;
    POINT aim = w.position < 0 ? POINT{-1, -1} : menu_item_point(menu_window, w.level, w.position);
    if (aim.y < 0) {
        EndMenu();
        return;
    }
    bool last = ++w.next == w.walk->path.size();
    if (last && w.walk->before_choice)
        w.walk->before_choice();
    mouse_at(aim, last ? w.walk->down : 0, last ? w.walk->up : 0);
    if (!last)
        SetTimer(window, step_timer, 700, step);
}

}  // namespace

UINT walk_menu(HWND owner, HMENU menu, menu_walk *walk)
{
    walk->opened.clear();
    g_walking = {walk, menu, 0, -1};
    return show_popup(owner, menu, 300, [owner]() {
        SetTimer(owner, step_timer, 10, step);
        return true;
    });
}
