// Menu bitmaps made from shell icons.
#pragma once
#include <windows.h>

// Renders `icon` at the small-icon size into a new 32-bit DIB section with
// premultiplied per-pixel alpha.  The icon stays the caller's; the bitmap
// becomes the caller's.  Returns null when no bitmap could be made.
HBITMAP make_menu_bitmap(HICON icon);
