// The root of a bare drive.
#include "listing/folder_path.h"
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
