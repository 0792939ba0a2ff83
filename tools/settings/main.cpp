// qv-settings: the settings window of the quorvane-shellex folder menu.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <string.h>
#include "settings_dialog.h"
#include "settings_layout.h"

static const wchar_t usage_text[] =
    L"usage: qv-settings [--screenshot FILE.png]\n\n"
    L"Shows the settings of the quorvane-shellex folder menu and changes them for the current user "
    L"(run as administrator from the install for all users: also for all users).\n\n"
    L"--screenshot FILE.png  save a picture of the window, then close it\n\n"
    L"Exit codes: 0 closed, 1 the window could not be created, 2 usage, 4 the picture could not be saved.";

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Before anything loads a library: System32's only, never one planted
    // beside this program (comctl32 and version are bound at first use).
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t *picture = NULL;
    if (argv && argc == 3 && wcscmp(argv[1], L"--screenshot") == 0) {
        picture = argv[2];
    } else if (!argv || argc != 1) {
        MessageBoxW(NULL, usage_text, settings_title, MB_OK | MB_ICONINFORMATION);
        LocalFree(argv);
        return settings_bad_usage;
    }

    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    // COM for the picture encoder.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    int code = run_settings_dialog(instance, picture);
    if (SUCCEEDED(com))
        CoUninitialize();
    LocalFree(argv);
    return code;
}
