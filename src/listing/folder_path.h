// A selected folder's path in the form the shell reads the same whatever the
// host's current folders are, the volume it lies on, and what its parent's
// enumeration says of an item.
#pragma once
#include <windows.h>

// Room for a MAX_PATH path, a backslash added to a bare drive, and the NUL.
#define QV_FOLDER_FORM_CHARS (MAX_PATH + 1)

// Copies `path` into `out` (QV_FOLDER_FORM_CHARS characters).  A bare drive
// "C:" names the host's current folder on drive C, not the drive: it becomes
// its root "C:\".  Every other path is copied as it is.
void folder_form(const WCHAR *path, WCHAR *out);

// Copies into `out` (QV_FOLDER_FORM_CHARS characters) the volume `path` lies
// on, from the path alone: its drive's root ("C:\") or its share
// ("\\server\share").  Reads nothing.
void volume_of(const WCHAR *path, WCHAR *out);

// The attributes the enumeration of its parent folder gives the item `path`
// (a search for its own name, which never opens the item itself: only these
// show a cloud folder that is fetched when it is opened), or
// INVALID_FILE_ATTRIBUTES when there are none, as for a drive's root.
DWORD enumeration_attributes(const WCHAR *path);
