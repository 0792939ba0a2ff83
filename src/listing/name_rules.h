// Names that the Win32 path rules would turn into another item's.
#pragma once
#include <windows.h>

// Whether `name`, joined to its folder's path, still names that very item
// once the Win32 path rules have read it.  False for a name those rules
// change: trailing dots or spaces ("tool.exe." opens "tool.exe", its twin),
// a reserved device name ("CON", "nul.txt", "COM1 .log" open a device), or
// any other name GetFullPathNameW rewrites.  Such names come only from
// other systems (a share, a USB stick written elsewhere) and are not listed:
// choosing one would open something else.  "." and ".." are the listing's
// own entries and pass.
bool name_keeps_its_item(const WCHAR *name);
