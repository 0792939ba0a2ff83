// Menu bitmaps made from shell icons: the icon is drawn into an erased 32-bpp
// paint buffer of the theme library, given alpha from its mask when the
// drawing brought none, and blended into a new DIB section.
#include "menu/menu_bitmap.h"
#include <string.h>

const wchar_t *g_theme_library = L"UXTHEME.DLL";

#define ALPHA_BITS 0xFF000000u

// GetProcAddress hands back a generic function pointer; the entry points
// have their own types.
template <typename T> static void lookup(HMODULE module, const char *name, T *entry)
{
    *entry = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
}

// Loads the theme library and its three entry points.  Returns false, with
// the library already released, when any of them is missing.
static bool load_theme(qv_theme_api *theme)
{
    theme->get_buffered_paint_bits = NULL;
    theme->begin_buffered_paint = NULL;
    theme->end_buffered_paint = NULL;
    // From System32 only: a search by name would try the host program's
    // folder first, where its user may have put a library of that name.
    theme->module = LoadLibraryExW(g_theme_library, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (theme->module) {
        lookup(theme->module, "GetBufferedPaintBits", &theme->get_buffered_paint_bits);
        lookup(theme->module, "BeginBufferedPaint", &theme->begin_buffered_paint);
        lookup(theme->module, "EndBufferedPaint", &theme->end_buffered_paint);
    }
    if (theme->get_buffered_paint_bits && theme->begin_buffered_paint && theme->end_buffered_paint)
        return true;
    if (theme->module)
        FreeLibrary(theme->module);
    return false;
}

// 32 bpp, BI_RGB, positive height: rows run bottom-up.
static void describe_dib32(BITMAPINFO *info, const SIZE *size)
{
    ZeroMemory(info, sizeof(*info));
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = size->cx;
    info->bmiHeader.biHeight = size->cy;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
}

HRESULT create_dib32(HDC dc, const SIZE *size, HBITMAP *out)
{
    BITMAPINFO info;
    *out = NULL;
    describe_dib32(&info, size);
    *out = CreateDIBSection(dc, &info, DIB_RGB_COLORS, NULL, NULL, 0);
    return *out ? S_OK : E_OUTOFMEMORY;
}

bool pixels_carry_alpha(const UINT32 *pixels, int cx, int cy, int cx_row)
{
    if (cx_row < cx)
        return false;
    for (int y = 0; y < cy; y++, pixels += cx_row)
        for (int x = 0; x < cx; x++)
            if (pixels[x] & ALPHA_BITS)
                return true;
    return false;
}

void alpha_from_mask(UINT32 *pixels, const UINT32 *mask, int cx, int cy, int cx_row)
{
    if (cx_row < cx)
        return;
    for (int y = 0; y < cy; y++, pixels += cx_row, mask += cx)
        for (int x = 0; x < cx; x++)
            pixels[x] = mask[x] ? 0 : pixels[x] | ALPHA_BITS;
}

HRESULT apply_mask_alpha(HDC dc, UINT32 *pixels, HBITMAP mask, const SIZE *size, int cx_row)
{
    BITMAPINFO info;
    describe_dib32(&info, size);
    if (size->cx <= 0 || size->cy <= 0)
        return E_UNEXPECTED;
    HANDLE heap = GetProcessHeap();
    UINT32 *block = (UINT32 *)HeapAlloc(heap, 0, (SIZE_T)size->cx * (SIZE_T)size->cy * sizeof(UINT32));
    if (!block)
        return E_OUTOFMEMORY;
    if (GetDIBits(dc, mask, 0, size->cy, block, &info, DIB_RGB_COLORS) != size->cy) {
        HeapFree(heap, 0, block);
        return E_UNEXPECTED;
    }
    alpha_from_mask(pixels, block, size->cx, size->cy, cx_row);
    HeapFree(heap, 0, block);
    return S_OK;
}

HRESULT fix_alpha_from_mask(const qv_theme_api *theme, HPAINTBUFFER buffer, HDC dc, HICON icon, const SIZE *size)
{
    RGBQUAD *bits = NULL;
    int cx_row = 0;
    HRESULT hr = theme->get_buffered_paint_bits(buffer, &bits, &cx_row);
    if (FAILED(hr))
        return hr;
    UINT32 *pixels = (UINT32 *)bits;
    if (pixels_carry_alpha(pixels, size->cx, size->cy, cx_row))
        return hr;  // the drawing brought its own alpha

    ICONINFO info;
    if (!GetIconInfo(icon, &info))
        return hr;
    if (info.hbmMask)
        hr = apply_mask_alpha(dc, pixels, info.hbmMask, size, cx_row);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return hr;
}

// Draws the icon through a buffered paint onto the bitmap selected into `dc`.
static void paint_icon(const qv_theme_api *theme, HDC dc, HICON icon, const SIZE *size)
{
    RECT rect;
    SetRect(&rect, 0, 0, size->cx, size->cy);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    BP_PAINTPARAMS params = {};
    params.cbSize = sizeof(params);
    params.dwFlags = BPPF_ERASE;
    params.prcExclude = NULL;
    params.pBlendFunction = &blend;

    HDC buffer_dc = NULL;
    HPAINTBUFFER buffer = theme->begin_buffered_paint(dc, &rect, BPBF_DIB, &params, &buffer_dc);
    if (!buffer)
        return;
    if (DrawIconEx(buffer_dc, 0, 0, icon, size->cx, size->cy, 0, NULL, DI_NORMAL))
        fix_alpha_from_mask(theme, buffer, dc, icon, size);
    // Ended whether or not the drawing worked: the erased buffer is then
    // what is blended.
    theme->end_buffered_paint(buffer, TRUE);
}

HBITMAP make_menu_bitmap(HICON icon)
{
    if (!icon)
        return NULL;
    qv_theme_api theme;
    if (!load_theme(&theme))
        return NULL;

    SIZE size = {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
    HBITMAP bitmap = NULL;
    HDC dc = CreateCompatibleDC(NULL);
    if (dc) {
        // Once the DIB section exists it is the result, drawn into or not.
        if (SUCCEEDED(create_dib32(dc, &size, &bitmap))) {
            HGDIOBJ previous = SelectObject(dc, bitmap);
            if (previous) {
                paint_icon(&theme, dc, icon, &size);
                SelectObject(dc, previous);
            }
        }
        DeleteDC(dc);
    }
    FreeLibrary(theme.module);
    return bitmap;
}
