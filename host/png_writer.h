// Writes 32-bit pixels as a PNG file (truecolour with alpha, stored blocks).
#pragma once
#include <windows.h>

// `pixels` are top-down rows of `width` BGRA words.  Returns false when the
// file cannot be written.
bool write_png(const wchar_t *path, const DWORD *pixels, int width, int height);
