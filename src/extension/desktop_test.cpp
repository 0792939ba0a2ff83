// The desktop test of the OnlyAllowedOnDesktop setting.
#include <wchar.h>
#include "extension/desktop_test.h"

DWORD desktop_test(const WCHAR *path, const WCHAR *desktop)
{
    // Compared as desktop + "\" without building that string: a desktop path
    // that fills a MAX_PATH buffer has no room for the extra backslash.
    size_t desktop_len = wcslen(desktop);
    size_t prefix_len = desktop_len + 1;
    if (wcslen(path) <= prefix_len)
        return 0;
    if (wcsncmp(path, desktop, desktop_len) != 0 || path[desktop_len] != L'\\')
        return 0;
    return wcschr(path + prefix_len, L'\\') ? 0 : 1;
}
