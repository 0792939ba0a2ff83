// The two thread hooks that fill the menus of the thread's sessions at display
// time and watch input.
#pragma once
#include <windows.h>

// WH_CALLWNDPROCRET: fills a reserved menu on its first WM_INITMENU and a
// sub-folder's submenu on WM_INITMENUPOPUP, and notes their closing.
LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam);
// WH_GETMESSAGE: remembers the last WM_KEYDOWN, WM_LBUTTONUP or WM_RBUTTONUP
// in each session whose menu is open.
LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam);
