#include "screenshot.h"
#include "wic_png.h"

HRESULT save_window_png(HWND window, const wchar_t *path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return HRESULT_FROM_WIN32(GetLastError());
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
        HDC source = GetWindowDC(window);
        bool copied = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
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
