// Control identifiers of the settings window, shared with its tests.
#pragma once

enum settings_control_id {
    id_heading = 100,
    id_from_heading = 101,
    id_for_all_users = 102,  // check box, when the window runs elevated
    id_for_all_users_note = 103,
    id_reset = 104,
    id_apply = 105,
    id_restart_elevated = 106,  // button in its place otherwise
    id_version = 107,           // "About": the version line
    id_home_page = 108,         // and the home page link
    // IDOK and IDCANCEL are the OK and Cancel buttons.
};

// Setting `index` (the field order of qv_config) has a row of controls with
// identifiers from 1000 + 10 * index: its label (number and choice settings
// only; a check box is its own label), its control (check box, edit box or
// drop-down list), where its value comes from, its explanation, and the
// button that takes it back to the machine's or the default value.  A
// setting the window does not show has none of them.
inline int setting_label_id(unsigned index) { return 1000 + 10 * (int)index; }
inline int setting_control_id(unsigned index) { return 1001 + 10 * (int)index; }
inline int setting_source_id(unsigned index) { return 1002 + 10 * (int)index; }
inline int setting_note_id(unsigned index) { return 1003 + 10 * (int)index; }
inline int setting_default_id(unsigned index) { return 1004 + 10 * (int)index; }
