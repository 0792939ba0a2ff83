// The module's diagnostic call.
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include "common/trace.h"

void trace(const char *format, ...)
{
#ifdef QV_TRACE
    char text[2048];
    va_list args;
    va_start(args, format);
    _vsnprintf(text, sizeof(text) - 1, format, args);
    va_end(args);
    text[sizeof(text) - 1] = 0;
    OutputDebugStringA(text);
#else
    (void)format;
#endif
}
