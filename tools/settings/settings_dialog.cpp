// The window and its messages; settings_rows.cpp shows the rows,
// settings_apply.cpp writes them, restart_elevated.cpp is "For all users...".
#include "settings_dialog.h"
#include <commctrl.h>
#include <shellapi.h>
#include <string>
#include <vector>
#include "machine_copy.h"
#include "restart_elevated.h"
#include "screenshot.h"
#include "settings_apply.h"
#include "settings_ids.h"
#include "settings_layout.h"
#include "settings_rows.h"

namespace {

const UINT_PTR picture_timer = 1;

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
