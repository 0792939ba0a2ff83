// Diagnostic output of the module.
#pragma once

// printf-style; %ls takes a wide string, %s an ANSI one, and null string
// pointers are allowed.  Writes nothing unless the module is built with
// QV_TRACE, in which case the text goes to OutputDebugStringA.  Never pass
// a file or folder name as the format.
void trace(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(ms_printf, 1, 2)))
#endif
    ;
