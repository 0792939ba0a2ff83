// Resolution of a selected shortcut to its target.
#pragma once
#include <windows.h>

// If `path` (a MAX_PATH buffer) names a .lnk file, replaces it by the
// shortcut's target when the shortcut can be read and its target is a full
// path, and returns 1; otherwise returns 0 and leaves `path` alone.
DWORD ConvertShortcutTarget(WCHAR *path);
