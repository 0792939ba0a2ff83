#include "screenshot.h"
#include "wic_png.h"

// Saves `rect` of `window`'s pixels (window coordinates from its corner), or
// of the screen when `window` is null.
static HRESULT save_area_png(HWND window, const RECT &rect, const wchar_t *path)
{
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return E_INVALIDARG;

    // 24-bit rows, top-down as PNG rows run; GDI pads each to 4 bytes.
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    UINT stride = ((UINT)width * 3 + 3) & ~3u;
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    HRESULT hr = E_OUTOFMEMORY;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        HDC source = window ? GetWindowDC(window) : GetDC(NULL);
        int x = window ? 0 : rect.left, y = window ? 0 : rect.top;
        bool copied = BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY) != 0;
        ReleaseDC(window, source);
        SelectObject(memory, old);
        GdiFlush();
        hr = copied ? write_png(path, (const BYTE *)bits, (UINT)width, (UINT)height, stride) : E_FAIL;
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return hr;
}

HRESULT save_window_png(HWND window, const wchar_t *path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return HRESULT_FROM_WIN32(GetLastError());
    return save_area_png(window, rect, path);
}

HRESULT save_popups_png(const wchar_t *path, RECT *area)
{
    SetRectEmpty(area);
    for (HWND w = NULL; (w = FindWindowExW(NULL, w, L"#32768", NULL)) != NULL;) {
        RECT rect;
        if (IsWindowVisible(w) && GetWindowRect(w, &rect))
            UnionRect(area, area, &rect);
    }
    if (IsRectEmpty(area))
        return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
    return save_area_png(NULL, *area, path);
}
