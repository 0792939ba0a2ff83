// The "For all users..." button of a window that does not run elevated.
#pragma once
#include <windows.h>

// Starts this program again as administrator and closes the window once it
// started; asks to apply or cancel unsaved changes first.
void restart_elevated(HWND dialog);
