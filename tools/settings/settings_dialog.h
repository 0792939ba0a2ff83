// The settings window: shows each setting, where its value comes from, and
// writes the changed ones when the user chooses OK or Apply.
#pragma once
#include <windows.h>

// Exit codes of qv-settings.
enum settings_exit {
    settings_closed = 0,      // closed with OK or Cancel (or the picture saved)
    settings_no_window = 1,   // the window could not be created
    settings_bad_usage = 2,   // the command line is not understood
    settings_no_picture = 4,  // --screenshot: the picture could not be saved
};

// Runs the window until it closes.  With `picture`, saves a PNG picture of
// the window to that file once it is shown, and closes it.
int run_settings_dialog(HINSTANCE instance, const wchar_t *picture);
