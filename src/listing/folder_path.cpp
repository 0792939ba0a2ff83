// The root of a bare drive, the volume of a path, an item's enumeration
// attributes.
#include "listing/folder_path.h"
#include <shlwapi.h>
#include <wchar.h>

void folder_form(const WCHAR *path, WCHAR *out)
{
    size_t len = wcsnlen(path, MAX_PATH - 1);
    wmemcpy(out, path, len);
    WCHAR letter = path[0] | 0x20;
    if (len == 2 && path[1] == L':' && letter >= L'a' && letter <= L'z')
        out[len++] = L'\\';
    out[len] = 0;
}

void volume_of(const WCHAR *path, WCHAR *out)
{
    folder_form(path, out);
    PathStripToRootW(out);
}

DWORD enumeration_attributes(const WCHAR *path)
{
    // A wildcard would make this a listing of many items.
    if (wcspbrk(path, L"*?"))
        return INVALID_FILE_ATTRIBUTES;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileExW(path, FindExInfoBasic, &found, FindExSearchNameMatch, NULL, 0);
    if (find == INVALID_HANDLE_VALUE)
        return INVALID_FILE_ATTRIBUTES;
    FindClose(find);
    return found.dwFileAttributes;
}
