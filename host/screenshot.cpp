#include "screenshot.h"
#include <vector>
#include "png_writer.h"

bool save_window_png(HWND window, const wchar_t *path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return false;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down, as PNG rows run
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HDC screen = GetDC(NULL);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    bool ok = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        HDC source = GetWindowDC(window);
        ok = BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        ReleaseDC(window, source);
        SelectObject(memory, old);
        GdiFlush();
        if (ok) {
            DWORD *pixels = (DWORD *)bits;
            for (int i = 0; i < width * height; i++)
                pixels[i] |= 0xFF000000u;
            ok = write_png(path, pixels, width, height);
        }
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(NULL, screen);
    return ok;
}
