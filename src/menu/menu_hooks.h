// The two thread hooks that fill the menu at display time and watch input.
#pragma once
#include <windows.h>

// WH_CALLWNDPROCRET: fills the reserved menu on WM_INITMENU, and removes the
// hooks when that menu (not one of its submenus) is un-initialised.
LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam);
// WH_GETMESSAGE: remembers the last WM_KEYDOWN, WM_LBUTTONUP or WM_RBUTTONUP.
LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam);
