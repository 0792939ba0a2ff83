// "For all users...": this program again, as administrator.
#include "restart_elevated.h"
#include <shellapi.h>
#include <string>
#include "settings_dialog.h"
#include "settings_ids.h"
#include "settings_layout.h"

// Starts this program again as administrator and closes this window once
// it started.  Changes not yet applied would be lost: they are applied or
// undone first.
void restart_elevated(HWND dialog)
{
    if (IsWindowEnabled(GetDlgItem(dialog, id_apply))) {
        MessageBoxW(dialog, L"Apply or cancel your changes first, then restart the window for all users.",
                    settings_title, MB_OK | MB_ICONINFORMATION);
        return;
    }
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    SHELLEXECUTEINFOW run = {};
    run.cbSize = sizeof(run);
    run.hwnd = dialog;
    run.lpVerb = L"runas";
    run.lpFile = program;
    run.nShow = SW_SHOWNORMAL;
    if (length && length < MAX_PATH && ShellExecuteExW(&run)) {
        EndDialog(dialog, settings_closed);
        return;
    }
    DWORD error = GetLastError();
    if (error == ERROR_CANCELLED)  // the user said no to the elevation prompt
        return;
    wchar_t reason[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, reason,
                   sizeof(reason) / sizeof(reason[0]), NULL);
    MessageBoxW(dialog, (L"The window could not be started as administrator.\n\n" + std::wstring(reason)).c_str(),
                settings_title, MB_OK | MB_ICONERROR);
}
