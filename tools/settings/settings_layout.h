// The settings window's template: a row for each setting it shows, then
// "For all users" (a check box when the window runs elevated, else a button
// that opens the install for all users' window elevated), the version line with the home page link, and
// the buttons.
#pragma once
#include <vector>
#include "dialog_template.h"
#include "settings_store.h"

extern const wchar_t settings_title[];

dialog_template settings_layout(const std::vector<stored_setting> &settings, bool elevated);
