// Checks of a CF_HDROP block handed over by another program.
#pragma once
#include <windows.h>
#include <shlobj.h>

// True when the `size` bytes at `block` hold a DROPFILES header whose name
// list (wide or ANSI, as fWide says) starts inside the block and ends with
// its double NUL inside it, so that DragQueryFileW never reads past the end.
bool drop_list_is_sound(const void *block, SIZE_T size);
