// Whether a selected item lies directly in the desktop folder.
#pragma once
#include <windows.h>

// Returns 1 when `path` is `desktop` + "\" + a name without a backslash
// (exact, case-sensitive), else 0: the desktop folder itself and items in its
// sub-folders give 0.  Nothing is written, so any length of `desktop` is safe.
DWORD desktop_test(const WCHAR *path, const WCHAR *desktop);
