// Picture of a window as it is on the screen.
#pragma once
#include <windows.h>

// Saves the window's pixels as a PNG file.  COM must be initialised.
HRESULT save_window_png(HWND window, const wchar_t *path);
