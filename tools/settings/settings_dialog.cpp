#include "settings_dialog.h"
#include <string>
#include <vector>
#include "number_text.h"
#include "screenshot.h"
#include "setting_texts.h"
#include "settings_ids.h"
#include "settings_layout.h"
#include "settings_store.h"

namespace {

const UINT_PTR picture_timer = 1;

struct settings_window {
    std::vector<stored_setting> stored;  // as the registry held them at the last reading
    // What each control is compared with to tell a change: the stored value,
    // or after Reset the value that remains once the user's values are gone.
    std::vector<DWORD> reference;
    std::vector<value_source> reference_source;
    bool reset_pending = false;  // Apply removes the user's values
    bool filling = false;        // the window itself is setting the controls
    const wchar_t *picture = nullptr;
};

setting_kind kind_of(const settings_window &w, unsigned i)
{
    return setting_text_for(w.stored[i].name).kind;
}

// The one entry of a choice that stands for `value`: the last one stands for
// every value past it too.
LRESULT choice_for(DWORD value)
{
    return value > 2 ? 2 : (LRESULT)value;
}

std::wstring control_text(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    std::wstring text((size_t)GetWindowTextLengthW(control) + 1, L'\0');
    text.resize((size_t)GetWindowTextW(control, &text[0], (int)text.size()));
    return text;
}

// The label of setting `i` without its mnemonic and colon, for messages.
std::wstring plain_label(HWND dialog, unsigned i, setting_kind kind)
{
    std::wstring text = control_text(dialog, kind == kind_check ? setting_control_id(i) : setting_label_id(i));
    std::wstring plain;
    for (size_t k = 0; k < text.size(); k++) {
        if (text[k] == L'&' && k + 1 < text.size())
            k++;
        plain += text[k];
    }
    if (!plain.empty() && plain.back() == L':')
        plain.pop_back();
    return plain;
}

bool changed(HWND dialog, const settings_window &w, unsigned i)
{
    HWND control = GetDlgItem(dialog, setting_control_id(i));
    DWORD reference = w.reference[i];
    switch (kind_of(w, i)) {
    case kind_check:
        return (SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED) != (reference != 0);
    case kind_choice:
        return SendMessageW(control, CB_GETCURSEL, 0, 0) != choice_for(reference);
    case kind_number:
        return control_text(dialog, setting_control_id(i)) != std::to_wstring(reference);
    }
    return false;
}

const wchar_t *source_name(value_source source)
{
    switch (source) {
    case from_user:
        return L"this user";
    case from_machine:
        return L"this machine";
    case from_default:
        return L"default";
    }
    return L"";
}

// Shows where each value comes from (or that it was changed) and enables
// Apply when there is something to write.
void show_state(HWND dialog, const settings_window &w)
{
    bool any = false;
    for (unsigned i = 0; i < w.stored.size(); i++) {
        bool c = changed(dialog, w, i);
        any = any || c || (w.reset_pending && w.stored[i].has_user);
        SetDlgItemTextW(dialog, setting_source_id(i), c ? L"changed" : source_name(w.reference_source[i]));
    }
    HWND apply = GetDlgItem(dialog, id_apply);
    // A disabled button cannot keep the focus: hand it to OK.
    if (!any && GetFocus() == apply)
        SendMessageW(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDOK), TRUE);
    EnableWindow(apply, any);
}

// Sets every control to its reference value.
void fill_controls(HWND dialog, settings_window &w)
{
    w.filling = true;
    for (unsigned i = 0; i < w.stored.size(); i++) {
        HWND control = GetDlgItem(dialog, setting_control_id(i));
        DWORD value = w.reference[i];
        switch (kind_of(w, i)) {
        case kind_check:
            SendMessageW(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
            break;
        case kind_choice:
            SendMessageW(control, CB_SETCURSEL, (WPARAM)choice_for(value), 0);
            break;
        case kind_number:
            SetWindowTextW(control, std::to_wstring(value).c_str());
            break;
        }
    }
    w.filling = false;
    show_state(dialog, w);
}

void read_registry(HWND dialog, settings_window &w)
{
    w.stored = read_settings();
    w.reference.clear();
    w.reference_source.clear();
    for (const stored_setting &s : w.stored) {
        w.reference.push_back(s.value());
        w.reference_source.push_back(s.source());
    }
    w.reset_pending = false;
    fill_controls(dialog, w);
}

// Reset: every value as it is without the user's own values.
void reset(HWND dialog, settings_window &w)
{
    for (unsigned i = 0; i < w.stored.size(); i++) {
        w.reference[i] = w.stored[i].machine_or_default();
        w.reference_source[i] = w.stored[i].has_machine ? from_machine : from_default;
    }
    w.reset_pending = true;
    fill_controls(dialog, w);
}

// The values of the changed settings, in `values`; false after telling the
// user about the first number that cannot be stored.
bool read_changes(HWND dialog, const settings_window &w, std::vector<bool> *is_changed, std::vector<DWORD> *values)
{
    for (unsigned i = 0; i < w.stored.size(); i++) {
        bool c = changed(dialog, w, i);
        is_changed->push_back(c);
        values->push_back(0);
        if (!c)
            continue;
        HWND control = GetDlgItem(dialog, setting_control_id(i));
        setting_kind kind = kind_of(w, i);
        if (kind == kind_check) {
            values->back() = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        } else if (kind == kind_choice) {
            values->back() = (DWORD)SendMessageW(control, CB_GETCURSEL, 0, 0);
        } else {
            std::wstring text = control_text(dialog, setting_control_id(i));
            number_check check = read_number(text.c_str(), &values->back());
            if (check != number_ok) {
                std::wstring message = L"\"" + plain_label(dialog, i, kind) + L"\" cannot be \"" + text + L"\". " +
                                       number_problem(check) +
                                       L"\n\nType a whole number from 0 to 4294967295. Nothing was saved.";
                MessageBoxW(dialog, message.c_str(), settings_title, MB_OK | MB_ICONWARNING);
                SendMessageW(dialog, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
                SendMessageW(control, EM_SETSEL, 0, -1);
                return false;
            }
        }
    }
    return true;
}

// Writes the changes: for this user, or with "For all users" for the
// machine, where the user's own value of a changed setting is removed so
// that the machine's value counts for this user too.  False when a number
// was refused (nothing is written then) or the registry refused a write.
bool apply(HWND dialog, settings_window &w)
{
    std::vector<bool> is_changed;
    std::vector<DWORD> values;
    if (!read_changes(dialog, w, &is_changed, &values))
        return false;
    bool for_all_users = IsDlgButtonChecked(dialog, id_for_all_users) == BST_CHECKED;
    LONG er = ERROR_SUCCESS;
    for (unsigned i = 0; i < w.stored.size() && er == ERROR_SUCCESS; i++) {
        const char *name = w.stored[i].name;
        if (w.reset_pending && w.stored[i].has_user)
            er = remove_user_setting(name);
        if (er == ERROR_SUCCESS && is_changed[i])
            er = write_setting(for_all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, name, values[i]);
        if (er == ERROR_SUCCESS && is_changed[i] && for_all_users)
            er = remove_user_setting(name);
    }
    if (er != ERROR_SUCCESS) {
        wchar_t reason[512] = L"";
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, (DWORD)er, 0, reason,
                       sizeof(reason) / sizeof(reason[0]), NULL);
        std::wstring message = L"The settings could not all be saved.\n\n" + std::wstring(reason);
        MessageBoxW(dialog, message.c_str(), settings_title, MB_OK | MB_ICONERROR);
    }
    read_registry(dialog, w);
    return er == ERROR_SUCCESS;
}

void init_dialog(HWND dialog, settings_window &w)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, (LONG_PTR)&w);
    for (unsigned i = 0; i < w.stored.size(); i++) {
        setting_text text = setting_text_for(w.stored[i].name);
        if (text.kind != kind_choice)
            continue;
        for (const wchar_t *choice : text.choices)
            SendDlgItemMessageW(dialog, setting_control_id(i), CB_ADDSTRING, 0, (LPARAM)choice);
    }
    bool elevated = running_elevated();
    EnableWindow(GetDlgItem(dialog, id_for_all_users), elevated);
    SetDlgItemTextW(dialog, id_for_all_users_note,
                    elevated ? L"Writes the changed values for every user and removes your own values of them."
                             : L"Needs administrator rights: run qv-settings as administrator to use it.");
    read_registry(dialog, w);
    if (w.picture)
        SetTimer(dialog, picture_timer, 500, NULL);
}

void take_picture(HWND dialog, const settings_window &w)
{
    KillTimer(dialog, picture_timer);
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    HRESULT hr = save_window_png(dialog, w.picture);
    EndDialog(dialog, SUCCEEDED(hr) ? settings_closed : settings_no_picture);
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    settings_window *w = (settings_window *)GetWindowLongPtrW(dialog, GWLP_USERDATA);
    switch (message) {
    case WM_INITDIALOG:
        init_dialog(dialog, *(settings_window *)lparam);
        return TRUE;  // the focus goes to the first control
    case WM_TIMER:
        if (w && wparam == picture_timer)
            take_picture(dialog, *w);
        return TRUE;
    case WM_COMMAND: {
        if (!w)
            return FALSE;
        int id = LOWORD(wparam);
        int code = HIWORD(wparam);
        if (id == IDOK) {
            if (apply(dialog, *w))
                EndDialog(dialog, settings_closed);
        } else if (id == IDCANCEL) {
            EndDialog(dialog, settings_closed);
        } else if (id == id_apply) {
            apply(dialog, *w);
        } else if (id == id_reset) {
            reset(dialog, *w);
        } else if (!w->filling && id >= setting_control_id(0) &&
                   (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE)) {
            show_state(dialog, *w);
        }
        return TRUE;
    }
    }
    return FALSE;
}

}  // namespace

int run_settings_dialog(HINSTANCE instance, const wchar_t *picture)
{
    settings_window w;
    w.picture = picture;
    w.stored = read_settings();
    dialog_template layout = settings_layout(w.stored);
    INT_PTR result = DialogBoxIndirectParamW(instance, layout.get(), NULL, dialog_proc, (LPARAM)&w);
    return result < 0 ? settings_no_window : (int)result;
}
