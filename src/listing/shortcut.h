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

// What a listed shortcut's picture comes from, read from the .lnk file alone:
// nothing of its target, nor of its icon's file, is opened.
struct qv_shortcut_picture {
    WCHAR target[MAX_PATH];   // a full path, or empty when the shortcut names none
    DWORD target_attributes;  // as the shortcut recorded them; 0 when it did not
    WCHAR icon_file[MAX_PATH];  // its own icon's file, variables expanded; empty: the target's
};
// Reads the shortcut `path` for its picture's sources.  False when it cannot
// be read.
bool read_shortcut_picture(const WCHAR *path, qv_shortcut_picture *picture);
