// Launching through the shell.
#include "menu/shell_open.h"
#include <shellapi.h>

HINSTANCE (WINAPI *g_shell_execute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT) = ShellExecuteW;

HINSTANCE shell_open(HWND hwnd, const WCHAR *verb, const WCHAR *file, const WCHAR *parameters, const WCHAR *directory)
{
    HINSTANCE result = g_shell_execute(hwnd, verb, file, parameters, directory, SW_SHOWNORMAL);
    // A type without the asked-for action still opens with its default one.
    if ((INT_PTR)result == SE_ERR_NOASSOC && verb)
        result = g_shell_execute(hwnd, NULL, file, parameters, directory, SW_SHOWNORMAL);
    return result;
}
