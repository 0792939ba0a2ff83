// Names that the Win32 path rules would turn into another item's.
#include "listing/name_rules.h"
#include <wchar.h>

// The folder a name is tried in: any full path would do, the rules look
// only at the name's own part.
#define TRIAL_FOLDER L"C:\\q\\"
#define TRIAL_FOLDER_CHARS 5

// Whether the part of `name` before its first dot, spaces at its end left
// out, is one of the names Win32 paths take for a device wherever it stands.
static bool device_name(const WCHAR *name)
{
    static const WCHAR *const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    size_t len = wcscspn(name, L".");
    while (len && name[len - 1] == L' ')
        len--;
    for (const WCHAR *device : devices)
        if (wcslen(device) == len && _wcsnicmp(name, device, len) == 0)
            return true;
    // COM0 to COM9 and LPT0 to LPT9, superscript digits one to three too.
    if (len == 4 && (_wcsnicmp(name, L"COM", 3) == 0 || _wcsnicmp(name, L"LPT", 3) == 0)) {
        WCHAR digit = name[3];
        return (digit >= L'0' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 || digit == 0x00B3;
    }
    return false;
}

bool name_keeps_its_item(const WCHAR *name)
{
    if (!wcscmp(name, L".") || !wcscmp(name, L".."))
        return true;
    size_t len = wcslen(name);
    if (len == 0 || len >= MAX_PATH || name[len - 1] == L'.' || name[len - 1] == L' ' || device_name(name))
        return false;
    // Whatever else the rules would change shows in the full path they make.
    WCHAR joined[TRIAL_FOLDER_CHARS + MAX_PATH];
    wcscpy(joined, TRIAL_FOLDER);
    wcscpy(joined + TRIAL_FOLDER_CHARS, name);
    WCHAR full[TRIAL_FOLDER_CHARS + MAX_PATH];
    DWORD n = GetFullPathNameW(joined, TRIAL_FOLDER_CHARS + MAX_PATH, full, NULL);
    return n == TRIAL_FOLDER_CHARS + len && wcscmp(full, joined) == 0;
}
