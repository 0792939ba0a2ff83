#include "settings_layout.h"
#include <commctrl.h>
#include <string.h>
#include <string>
#include "setting_texts.h"
#include "menu/shell_open.h"
#include "settings_ids.h"

const wchar_t settings_title[] = L"quorvane-shellex settings";

namespace {

// Dialog units.
const short margin = 7;
const short width = 380;
const short inner = width - 2 * margin;
const short control_x = 150;    // edit boxes and lists, after their labels
const short source_x = 262;     // where each value comes from
const short default_width = 44;
const short default_x = width - margin - default_width;  // the row's "Default" button
const short note_x = margin + 12;  // explanations, under the check boxes' text
const short row_height = 26;
const short button_width = 50, button_height = 14, button_gap = 4;

const DWORD note_style = SS_LEFT | SS_NOPREFIX;

}  // namespace

dialog_template settings_layout(const std::vector<stored_setting> &settings, bool elevated)
{
    dialog_template t(settings_title, DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, width, 0);
    t.add(class_static, L"Settings of the quorvane-shellex folder menu, used from the next right-click.", id_heading,
          note_style, margin, margin, inner, 8);
    t.add(class_static, L"Value from", id_from_heading, note_style, source_x, margin + 14, default_x - source_x - 2, 8);

    short y = margin + 26;
    for (unsigned i = 0; i < settings.size(); i++) {
        setting_text text = setting_text_for(settings[i].name);
        if (text.kind == kind_hidden)
            continue;
        std::wstring label = text.label ? text.label : std::wstring(settings[i].name, settings[i].name +
                                                                    strlen(settings[i].name)) + L":";
        switch (text.kind) {
        case kind_check:
            t.add(class_button, label.c_str(), setting_control_id(i), BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP,
                  margin, y, source_x - margin - 4, 10);
            break;
        case kind_number:
            t.add(class_static, label.c_str(), setting_label_id(i), SS_LEFT, margin, y + 2, control_x - margin - 4,
                  8);
            t.add(class_edit, L"", setting_control_id(i), ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | WS_GROUP,
                  control_x, y, 60, 12);
            break;
        case kind_choice:
            t.add(class_static, label.c_str(), setting_label_id(i), SS_LEFT, margin, y + 2, control_x - margin - 4,
                  8);
            // The height is that of the open list.
            t.add(class_combo_box, L"", setting_control_id(i), CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
                  control_x, y, 100, 60);
            break;
        case kind_hidden:
            break;
        }
        t.add(class_button, L"Default", setting_default_id(i), BS_PUSHBUTTON | WS_TABSTOP, default_x, y - 1,
              default_width, 12);
        t.add(class_static, L"", setting_source_id(i), note_style, source_x, y + 2, default_x - source_x - 2, 8);
        t.add(class_static, text.note, setting_note_id(i), note_style, note_x, y + 13, width - margin - note_x, 8);
        y += row_height;
    }

    t.add(class_static, L"", -1, SS_ETCHEDHORZ, margin, y, inner, 1);
    y += 6;
    if (elevated)
        t.add(class_button, L"For all &users (this machine)", id_for_all_users,
              BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, margin, y, inner, 10);
    else
        t.add(class_button, L"For all &users...", id_restart_elevated, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, margin,
              y - 1, 90, button_height);
    t.add(class_static,
          elevated ? L"Writes every value shown for all users and removes your own values of them."
                   : L"Opens the window of the install for all users, as administrator.",
          id_for_all_users_note, note_style, elevated ? note_x : (short)(margin + 96), elevated ? y + 12 : y + 2,
          width - margin - (elevated ? note_x : margin + 96), 8);
    y += row_height;

    // About: the version (filled in from the program's own version
    // resource) and the home page.
    t.add(class_static, L"", id_version, note_style, margin, y, 120, 8);
    std::wstring link = std::wstring(L"<a href=\"") + QV_HOME_PAGE + L"\">Home page</a>";
    t.add(WC_LINK, link.c_str(), id_home_page, WS_TABSTOP, margin + 124, y, 100, 9);
    y += 14;

    t.add(class_button, L"&Reset", id_reset, BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, margin, y, button_width,
          button_height);
    short x = width - margin - 3 * button_width - 2 * button_gap;
    t.add(class_button, L"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, x, y, button_width, button_height);
    x += button_width + button_gap;
    t.add(class_button, L"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, x, y, button_width, button_height);
    x += button_width + button_gap;
    t.add(class_button, L"&Apply", id_apply, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, x, y, button_width,
          button_height);
    t.set_height(y + button_height + margin);
    return t;
}
