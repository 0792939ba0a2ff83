// Resolution of a selected shortcut to its target.
#pragma once
#include <windows.h>

// Returns 1 when `path` (a MAX_PATH buffer) names a .lnk file, and then
// replaces it by the shortcut's target if the shortcut can be read and its
// target is a full path.  Returns 0 and leaves `path` alone otherwise.
DWORD ConvertShortcutTarget(WCHAR *path);
// Whether `path` names a shortcut by its name alone (ends in ".lnk", any
// case, with at least one character before it); reads nothing.
bool shortcut_name(const WCHAR *path);
// Reads the shortcut `path` for its target (into `target`, MAX_PATH) and the
// attributes the target's folder gives it in a listing, without opening the
// target.  False when the shortcut, or its target, cannot be read.
bool shortcut_target_attributes(const WCHAR *path, WCHAR *target, DWORD *attributes);
