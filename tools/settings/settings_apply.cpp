// OK and Apply: what the rows show, checked, then written.
#include "settings_apply.h"
#include "number_text.h"
#include "settings_ids.h"
#include "settings_layout.h"

namespace {

// The values shown in every row that OK or Apply writes, in `values`; false
// after telling the user about the first number that cannot be stored.
bool read_values(HWND dialog, const settings_window &w, std::vector<DWORD> *values)
{
    bool everything = for_all_users(dialog);
    values->assign(w.stored.size(), 0);
    for (unsigned i = 0; i < w.stored.size(); i++) {
        if (!editable(w, i) || !(everything || changed(dialog, w, i)))
            continue;
        number_check check = shown_value(dialog, w, i, &(*values)[i]);
        if (check == number_ok)
            continue;
        setting_text text = text_of(w, i);
        std::wstring message = L"\"" + plain_label(dialog, i, text.kind) + L"\" cannot be \"" +
                               control_text(dialog, setting_control_id(i)) + L"\". " +
                               number_problem(check, text.maximum) + L"\n\nType a whole number from 0 to " +
                               number_for_people(text.maximum) + L". Nothing was saved.";
        MessageBoxW(dialog, message.c_str(), settings_title, MB_OK | MB_ICONWARNING);
        HWND control = GetDlgItem(dialog, setting_control_id(i));
        SendMessageW(dialog, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
        SendMessageW(control, EM_SETSEL, 0, -1);
        return false;
    }
    return true;
}

}  // namespace

// Writes the changes for this user: a value of their own, or none where the
// value shown is the one they get anyway.  With "For all users", writes
// every value shown for the machine and removes the user's own values of
// them, so that the machine's values count for this user too.  False when a
// number was refused (nothing is written then) or the registry refused a
// write.
bool apply(HWND dialog, settings_window &w)
{
    std::vector<DWORD> values;
    if (!read_values(dialog, w, &values))
        return false;
    bool everything = for_all_users(dialog);
    LONG er = ERROR_SUCCESS;
    for (unsigned i = 0; i < w.stored.size() && er == ERROR_SUCCESS; i++) {
        const stored_setting &s = w.stored[i];
        if (!editable(w, i))
            continue;
        if (everything) {
            er = write_setting(HKEY_LOCAL_MACHINE, s.name, values[i]);
            if (er == ERROR_SUCCESS && s.has_user)
                er = remove_user_setting(s.name);
        } else if (changed(dialog, w, i)) {
            er = shows(text_of(w, i).kind, values[i], s.machine_or_default())
                     ? remove_user_setting(s.name)
                     : write_setting(HKEY_CURRENT_USER, s.name, values[i]);
        }
    }
    if (er != ERROR_SUCCESS) {
        wchar_t reason[512] = L"";
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, (DWORD)er, 0, reason,
                       sizeof(reason) / sizeof(reason[0]), NULL);
        std::wstring message = L"The settings could not all be saved.\n\n" + std::wstring(reason);
        MessageBoxW(dialog, message.c_str(), settings_title, MB_OK | MB_ICONERROR);
    } else {
        CheckDlgButton(dialog, id_for_all_users, BST_UNCHECKED);
    }
    read_registry(dialog, w);
    return er == ERROR_SUCCESS;
}
