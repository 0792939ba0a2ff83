// A selected folder's path in the form the shell reads the same whatever the
// host's current folders are.
#pragma once
#include <windows.h>

// Room for a MAX_PATH path, a backslash added to a bare drive, and the NUL.
#define QV_FOLDER_FORM_CHARS (MAX_PATH + 1)

// Copies `path` into `out` (QV_FOLDER_FORM_CHARS characters).  A bare drive
// "C:" names the host's current folder on drive C, not the drive: it becomes
// its root "C:\".  Every other path is copied as it is.
void folder_form(const WCHAR *path, WCHAR *out);
