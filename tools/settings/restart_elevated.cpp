// "For all users...": the per-machine install's settings window, as administrator.
#include "restart_elevated.h"
#include "machine_copy.h"
#include "settings_dialog.h"
#include "settings_ids.h"
#include "settings_layout.h"

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
