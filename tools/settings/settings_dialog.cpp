#include "settings_dialog.h"
#include <commctrl.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "machine_copy.h"
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
    bool filling = false;  // the window itself is setting the controls
    const wchar_t *picture = nullptr;
};

setting_text text_of(const settings_window &w, unsigned i)
{
    return setting_text_for(w.stored[i].name);
}

// A row the user can change: shown, and not set by a policy.
bool editable(const settings_window &w, unsigned i)
{
    return text_of(w, i).kind != kind_hidden && !w.stored[i].has_policy;
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

bool changed(HWND dialog, const settings_window &w, unsigned i)
{
    return change_of(dialog, w, i) != row_unchanged;
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

// Starts the settings window of the install for all users as administrator
// and closes this one once it started.  Changes not yet applied would be
// lost: they are applied or undone first.
void restart_elevated(HWND dialog)
{
    if (IsWindowEnabled(GetDlgItem(dialog, id_apply))) {
        MessageBoxW(dialog, L"Apply or cancel your changes first, then restart the window for all users.",
                    settings_title, MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (start_machine_copy(dialog))
        EndDialog(dialog, settings_closed);
}

// "quorvane-shellex 3.0.N", from the program's own version resource.
std::wstring version_line()
{
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    DWORD size = length && length < MAX_PATH ? GetFileVersionInfoSizeW(program, NULL) : 0;
    std::vector<BYTE> info(size);
    wchar_t *version = nullptr;
    UINT chars = 0;
    if (!size || !GetFileVersionInfoW(program, 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", (void **)&version, &chars) ||
        !version)
        return L"quorvane-shellex";
    return L"quorvane-shellex " + std::wstring(version, wcsnlen(version, chars));
}

void init_dialog(HWND dialog, settings_window &w)
{
    SetWindowLongPtrW(dialog, GWLP_USERDATA, (LONG_PTR)&w);
    for (unsigned i = 0; i < w.stored.size(); i++) {
        setting_text text = text_of(w, i);
        if (text.kind != kind_choice)
            continue;
        for (const wchar_t *choice : text.choices)
            SendDlgItemMessageW(dialog, setting_control_id(i), CB_ADDSTRING, 0, (LPARAM)choice);
    }
    // The shield tells that the button asks for administrator rights.
    SendDlgItemMessageW(dialog, id_restart_elevated, BCM_SETSHIELD, 0, TRUE);
    SetDlgItemTextW(dialog, id_version, version_line().c_str());
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

void command(HWND dialog, settings_window &w, int id, int code)
{
    if (id == IDOK) {
        if (apply(dialog, w))
            EndDialog(dialog, settings_closed);
    } else if (id == IDCANCEL) {
        EndDialog(dialog, settings_closed);
    } else if (id == id_apply) {
        apply(dialog, w);
    } else if (id == id_reset) {
        for (unsigned i = 0; i < w.stored.size(); i++)
            take_default(dialog, w, i);
        show_state(dialog, w);
    } else if (id == id_restart_elevated) {
        restart_elevated(dialog);
    } else if (id == id_for_all_users) {
        show_state(dialog, w);
    } else if (id >= setting_control_id(0) && (id - 1000) % 10 == 4 && code == BN_CLICKED) {
        take_default(dialog, w, (unsigned)(id - 1000) / 10);
        show_state(dialog, w);
    } else if (!w.filling && id >= setting_control_id(0) &&
               (code == BN_CLICKED || code == EN_CHANGE || code == CBN_SELCHANGE)) {
        show_state(dialog, w);
    }
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
    case WM_NOTIFY: {
        const NMLINK *link = (const NMLINK *)lparam;
        if (link->hdr.idFrom != id_home_page || (link->hdr.code != NM_CLICK && link->hdr.code != NM_RETURN))
            return FALSE;
        open_home_page(dialog, link->item.szUrl);
        return TRUE;
    }
    case WM_COMMAND:
        if (!w)
            return FALSE;
        command(dialog, *w, LOWORD(wparam), HIWORD(wparam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int run_settings_dialog(HINSTANCE instance, const wchar_t *picture)
{
    settings_window w;
    w.picture = picture;
    w.stored = read_settings();
    dialog_template layout = settings_layout(w.stored, running_elevated());
    INT_PTR result = DialogBoxIndirectParamW(instance, layout.get(), NULL, dialog_proc, (LPARAM)&w);
    return result < 0 ? settings_no_window : (int)result;
}
