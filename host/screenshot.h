// Picture of a window as it is on the screen.
#pragma once
#include <windows.h>

// Saves the window's pixels as a PNG file.  COM must be initialised.
HRESULT save_window_png(HWND window, const wchar_t *path);
// Saves the part of the screen that the visible popup menus cover, all of
// them at once (a menu with its open submenus), and gives that rectangle.
HRESULT save_popups_png(const wchar_t *path, RECT *area);
