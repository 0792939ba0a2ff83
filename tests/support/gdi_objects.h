// Count of the GDI objects the test process holds, for leak checks.
#pragma once
#include <windows.h>

// Live GDI objects of this process, or -1 when they cannot be counted.
// Windows answers GetGuiResources; Wine answers it with 0, so there the
// process's handle table (reached from the PEB) is counted instead.
long live_gdi_objects();

// Live menus and icons of this process (the USER objects the extension makes),
// or -1 when they cannot be counted.  Windows answers GetGuiResources; Wine
// answers it with 0, so there every slot of the USER handle table is probed
// with IsMenu and, for icons, a 1x1 DrawIconEx.
long live_user_objects();

// Bytes in use in every heap of the process: the objects come from the
// process heap and the listings from the C runtime's.  (Wine answers the
// PrivateUsage memory counter with 0, so that measures nothing there.)
SIZE_T heap_bytes_in_use();
