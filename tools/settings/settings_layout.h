// The settings window's template: a row for each setting, then the check box
// for all users and the buttons.
#pragma once
#include <vector>
#include "dialog_template.h"
#include "settings_store.h"

extern const wchar_t settings_title[];

dialog_template settings_layout(const std::vector<stored_setting> &settings);
