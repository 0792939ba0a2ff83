// The rows of the settings window (see settings_rows.h).
#include "settings_rows.h"
#include "number_text.h"
#include "settings_ids.h"

namespace {

// The one entry of a choice that stands for `value`: the last one stands for
// every value past it too.
LRESULT choice_for(DWORD value)
{
    return value > 2 ? 2 : (LRESULT)value;
}

// What OK or Apply would do to the user's own value of row `i`: the value
// shown becomes the user's own unless it is the one the user gets anyway
// (the machine's, or the default), which leaves the user none.  Values are
// compared as numbers; text that is no valid value counts as a value of the
// user's own (which Apply refuses).
enum row_change { row_unchanged, row_own_value, row_not_set };

row_change change_of(HWND dialog, const settings_window &w, unsigned i)
{
    if (!editable(w, i))
        return row_unchanged;
    DWORD value = 0;
    if (shown_value(dialog, w, i, &value) != number_ok)
        return row_own_value;
    const stored_setting &s = w.stored[i];
    setting_kind kind = text_of(w, i).kind;
    if (shows(kind, value, s.machine_or_default()))
        return s.has_user ? row_not_set : row_unchanged;
    return s.has_user && shows(kind, value, s.user) ? row_unchanged : row_own_value;
}

// Sets the control of row `i` to `value`.
void set_control(HWND dialog, const settings_window &w, unsigned i, DWORD value)
{
    HWND control = GetDlgItem(dialog, setting_control_id(i));
    switch (text_of(w, i).kind) {
    case kind_check:
        SendMessageW(control, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case kind_choice:
        SendMessageW(control, CB_SETCURSEL, (WPARAM)choice_for(value), 0);
        break;
    case kind_number:
        SetWindowTextW(control, std::to_wstring(value).c_str());
        break;
    case kind_hidden:
        break;
    }
}

const wchar_t *source_name(value_source source)
{
    switch (source) {
    case from_policy:
        return L"policy";
    case from_user:
        return L"this user";
    case from_machine:
        return L"this machine";
    case from_default:
        return L"default";
    }
    return L"";
}

}  // namespace

setting_text text_of(const settings_window &w, unsigned i)
{
    return setting_text_for(w.stored[i].name);
}

// A row the user can change: shown, and not set by a policy.
bool editable(const settings_window &w, unsigned i)
{
    return text_of(w, i).kind != kind_hidden && !w.stored[i].has_policy;
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

// What the control of row `i` holds, checked against the setting's range.
number_check shown_value(HWND dialog, const settings_window &w, unsigned i, DWORD *value)
{
    HWND control = GetDlgItem(dialog, setting_control_id(i));
    setting_text text = text_of(w, i);
    switch (text.kind) {
    case kind_check:
        *value = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
        return number_ok;
    case kind_choice:
        *value = (DWORD)SendMessageW(control, CB_GETCURSEL, 0, 0);
        return number_ok;
    case kind_number:
        return read_number(control_text(dialog, setting_control_id(i)).c_str(), text.maximum, value);
    case kind_hidden:
        break;
    }
    return number_empty;
}

// Whether the control's `shown` value stands for the `stored` one: a check
// box shows every non-zero value as on, a choice every value past the last
// as the last.
bool shows(setting_kind kind, DWORD shown, DWORD stored)
{
    switch (kind) {
    case kind_check:
        return (shown != 0) == (stored != 0);
    case kind_choice:
        return (LRESULT)shown == choice_for(stored);
    default:
        return shown == stored;
    }
}

bool for_all_users(HWND dialog)
{
    return IsDlgButtonChecked(dialog, id_for_all_users) == BST_CHECKED;
}

bool changed(HWND dialog, const settings_window &w, unsigned i)
{
    return change_of(dialog, w, i) != row_unchanged;
}

// Shows where each value comes from ("changed" for a value of the user's
// own not yet written; the machine's or the default for one that will no
// longer be the user's) and enables Apply when there is something to write:
// a changed row, or "For all users", which writes every value shown.
void show_state(HWND dialog, const settings_window &w)
{
    bool any = for_all_users(dialog);
    for (unsigned i = 0; i < w.stored.size(); i++) {
        if (text_of(w, i).kind == kind_hidden)
            continue;
        const stored_setting &s = w.stored[i];
        row_change c = change_of(dialog, w, i);
        any = any || c != row_unchanged;
        SetDlgItemTextW(dialog, setting_source_id(i),
                        c == row_own_value ? L"changed"
                        : c == row_not_set ? source_name(s.has_machine ? from_machine : from_default)
                                           : source_name(s.source()));
    }
    HWND apply = GetDlgItem(dialog, id_apply);
    // A disabled button cannot keep the focus: hand it to OK.
    if (!any && GetFocus() == apply)
        SendMessageW(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDOK), TRUE);
    EnableWindow(apply, any);
}

// Every row as the registry holds it; a row set by a policy cannot be
// changed here.
void read_registry(HWND dialog, settings_window &w)
{
    w.stored = read_settings();
    w.filling = true;
    for (unsigned i = 0; i < w.stored.size(); i++) {
        if (text_of(w, i).kind == kind_hidden)
            continue;
        set_control(dialog, w, i, w.stored[i].value());
        bool enable = editable(w, i);
        EnableWindow(GetDlgItem(dialog, setting_control_id(i)), enable);
        EnableWindow(GetDlgItem(dialog, setting_default_id(i)), enable);
    }
    w.filling = false;
    show_state(dialog, w);
}

// Row `i` back to the value the user gets without a value of their own.
void take_default(HWND dialog, settings_window &w, unsigned i)
{
    if (!editable(w, i))
        return;
    w.filling = true;
    set_control(dialog, w, i, w.stored[i].machine_or_default());
    w.filling = false;
}
