// OK and Apply: the values shown written for the current user, or with
// "For all users" for the machine.
#pragma once
#include <windows.h>
#include "settings_rows.h"

// Writes what changed (see settings_apply.cpp) and reads the registry back
// into the rows.  False when a number was refused (nothing is written then)
// or the registry refused a write.
bool apply(HWND dialog, settings_window &w);
