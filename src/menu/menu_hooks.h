// The two thread hooks that fill the menu at display time and watch input.
#pragma once
#include <windows.h>

// WH_CALLWNDPROCRET: fills the menu on WM_INITMENU, removes the hooks on
// WM_UNINITMENUPOPUP.
LRESULT CALLBACK menu_ret_hook(int nCode, WPARAM wParam, LPARAM lParam);
// WH_GETMESSAGE: remembers the last WM_KEYDOWN, WM_LBUTTONUP or WM_RBUTTONUP.
LRESULT CALLBACK menu_input_hook(int nCode, WPARAM wParam, LPARAM lParam);
// Removes the calling thread's hooks and installs both anew.
void rehook_menu();
