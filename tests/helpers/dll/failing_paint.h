// The theme library's buffered-paint entry points, each failing, for the
// stand-in theme libraries.
#pragma once
#include <windows.h>

extern "C" HRESULT WINAPI GetBufferedPaintBits(HANDLE, RGBQUAD **, int *)
{
    return E_FAIL;
}

extern "C" HANDLE WINAPI BeginBufferedPaint(HDC, const RECT *, int, void *, HDC *)
{
    return NULL;
}

extern "C" HRESULT WINAPI EndBufferedPaint(HANDLE, BOOL)
{
    return E_FAIL;
}
