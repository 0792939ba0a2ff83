#include "machine_copy.h"
#include <shellapi.h>
#include <shlobj.h>
#include "common/qv_clsid.h"
#include "settings_layout.h"
#include "settings_store.h"

static const wchar_t program_name[] = L"qv-settings.exe";

// Whether `path` lies inside the folder `folder`.
static bool inside(const std::wstring &path, const std::wstring &folder)
{
    if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != L'\\')
        return false;
    return CompareStringOrdinal(path.c_str(), (int)folder.size(), folder.c_str(), (int)folder.size(), TRUE) ==
           CSTR_EQUAL;
}

bool machine_copy_path(std::wstring *path)
{
    wchar_t registered[MAX_PATH];
    DWORD size = sizeof(registered);
    // Where the package for all users registered the module (administrators
    // alone write there).
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32", NULL,
                     RRF_RT_REG_SZ, NULL, registered, &size) != ERROR_SUCCESS)
        return false;
    // ".." or "." in the registered path must not lead out of Program Files.
    wchar_t full[MAX_PATH];
    wchar_t *file = NULL;
    DWORD length = GetFullPathNameW(registered, MAX_PATH, full, &file);
    if (!length || length >= MAX_PATH || !file)
        return false;
    *file = 0;
    std::wstring candidate = std::wstring(full) + program_name;
    PWSTR program_files = NULL;
    bool found = SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, NULL, &program_files)) &&
                 inside(candidate, program_files);
    CoTaskMemFree(program_files);
    DWORD attributes = found ? GetFileAttributesW(candidate.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    *path = candidate;
    return true;
}

static std::wstring system_message(DWORD error)
{
    wchar_t reason[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, reason,
                   sizeof(reason) / sizeof(reason[0]), NULL);
    return reason;
}

bool start_machine_copy(HWND dialog)
{
    std::wstring program;
    if (!machine_copy_path(&program)) {
        MessageBoxW(dialog,
                    L"The values for all users are set by an administrator, either with the settings window of "
                    L"the package for all users (quorvane-shellex-3.0.N-x64.msi, which installs under Program "
                    L"Files) or with the policy templates quorvane-shellex.admx and .adml in Group Policy.\n\n"
                    L"This copy is installed for you alone, in a folder your programs can change, so it never "
                    L"starts itself as administrator.",
                    settings_title, MB_OK | MB_ICONINFORMATION);
        return false;
    }
    SHELLEXECUTEINFOW run = {};
    run.cbSize = sizeof(run);
    run.hwnd = dialog;
    run.lpVerb = L"runas";
    run.lpFile = program.c_str();
    run.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&run))
        return true;
    DWORD error = GetLastError();
    if (error == ERROR_CANCELLED)  // the user said no to the elevation prompt
        return false;
    MessageBoxW(dialog,
                (L"The settings window for all users could not be started as administrator.\n\n" +
                 system_message(error)).c_str(),
                settings_title, MB_OK | MB_ICONERROR);
    return false;
}

void open_home_page(HWND dialog, const wchar_t *address)
{
    if (!running_elevated()) {
        ShellExecuteW(dialog, NULL, address, NULL, NULL, SW_SHOWNORMAL);
        return;
    }
    MessageBoxW(dialog,
                (L"This window runs as administrator and opens no browser. The home page is:\n\n" +
                 std::wstring(address)).c_str(),
                settings_title, MB_OK | MB_ICONINFORMATION);
}
