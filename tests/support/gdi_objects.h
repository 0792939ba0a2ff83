// Count of the GDI objects the test process holds, for leak checks.
#pragma once
#include <windows.h>

// Live GDI objects of this process, or -1 when they cannot be counted.
// Windows answers GetGuiResources; Wine answers it with 0, so there the
// process's handle table (reached from the PEB) is counted instead.
long live_gdi_objects();
