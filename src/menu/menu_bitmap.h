// Menu bitmaps made from shell icons.
#pragma once
#include <windows.h>
#include <uxtheme.h>

// Renders `icon` at the small-icon size into a new 32-bit DIB section with
// premultiplied per-pixel alpha.  The icon stays the caller's; the bitmap
// becomes the caller's.  Returns null when no bitmap could be made.
HBITMAP make_menu_bitmap(HICON icon);

// Name under which make_menu_bitmap loads the theme library on every call
// (L"UXTHEME.DLL"); tests point it at a stand-in.
extern const wchar_t *g_theme_library;

// The buffered-paint entry points of one loaded theme library.  Each
// conversion keeps its own copy on its stack, so conversions on two threads
// never see each other's library.
struct qv_theme_api {
    HMODULE module;
    HRESULT (WINAPI *get_buffered_paint_bits)(HPAINTBUFFER buffer, RGBQUAD **pixels, int *cx_row);
    HPAINTBUFFER (WINAPI *begin_buffered_paint)(HDC target, const RECT *rect, BP_BUFFERFORMAT format,
                                                BP_PAINTPARAMS *params, HDC *buffer_dc);
    HRESULT (WINAPI *end_buffered_paint)(HPAINTBUFFER buffer, BOOL update_target);
};

// Creates a bottom-up 32-bpp DIB section of `size` for `dc`.  S_OK, or
// E_OUTOFMEMORY with *out null.
HRESULT create_dib32(HDC dc, const SIZE *size, HBITMAP *out);
// Gives the drawn paint buffer alpha from the icon's mask when the drawing
// left no alpha in any pixel.  `dc` serves only for reading the mask.
HRESULT fix_alpha_from_mask(const qv_theme_api *theme, HPAINTBUFFER buffer, HDC dc, HICON icon, const SIZE *size);
// Reads `mask` at `size` and rewrites the pixels from it (alpha_from_mask).
// S_OK, E_OUTOFMEMORY or E_UNEXPECTED; on failure no pixel is changed.
HRESULT apply_mask_alpha(HDC dc, UINT32 *pixels, HBITMAP mask, const SIZE *size, int cx_row);

// The two pixel passes, over plain memory: the icon is the first cx pixels of
// each of the first cy rows, rows lying cx_row pixels apart; the rest of each
// row is neither read nor written.  A row width below cx does nothing.
//
// Whether any icon pixel has a nonzero alpha byte; stops at the first one.
bool pixels_carry_alpha(const UINT32 *pixels, int cx, int cy, int cx_row);
// Applies a cx * cy block of mask values (rows without gaps), mask row k to
// pixel row k: a nonzero value makes the pixel 0x00000000, zero sets its
// alpha to 0xFF and keeps its colour.
void alpha_from_mask(UINT32 *pixels, const UINT32 *mask, int cx, int cy, int cx_row);
