// What the settings window shows for each setting: the kind of control, the
// label with its mnemonic, and a one-line explanation.
#pragma once

#include <windows.h>

enum setting_kind {
    kind_check,   // on (1) or off (0)
    kind_number,  // a DWORD from 0 to `maximum`, typed in decimal
    kind_choice,  // one of `choices`, by position
    kind_hidden,  // read by the extension, but without a row in the window
};

struct setting_text {
    const char *value_name;  // as in the registry
    setting_kind kind;
    const wchar_t *label;  // null: the value name is the label
    const wchar_t *note;
    const wchar_t *choices[3];  // kind_choice only
    DWORD maximum;              // the largest value the window accepts
};

// The texts of the setting with this registry value name.  A name the
// window has no texts for gets a number box labelled with the name itself,
// no explanation and the whole DWORD range.
setting_text setting_text_for(const char *value_name);
