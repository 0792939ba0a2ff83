// PNG files through the Windows Imaging Component's own encoder.
#pragma once
#include <windows.h>

// Writes `pixels` (top-down rows of `width` 24-bit BGR pixels, `stride`
// bytes apart) to `path` as a PNG file.  COM must be initialised.  On
// failure no file is left behind.
HRESULT write_png(const wchar_t *path, const BYTE *pixels, UINT width, UINT height, UINT stride);
