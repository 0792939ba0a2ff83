// A stand-in for the theme library: every buffered paint fails to begin.
// Each load of the DLL from scratch adds one to the environment variable
// QV_THEME_LOADS, so a test can tell a fresh load from a kept one.
#include <windows.h>
#include <stdlib.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t text[16] = L"0";
        GetEnvironmentVariableW(L"QV_THEME_LOADS", text, 16);
        _itow(_wtoi(text) + 1, text, 10);
        SetEnvironmentVariableW(L"QV_THEME_LOADS", text);
    }
    return TRUE;
}

#include "failing_paint.h"
