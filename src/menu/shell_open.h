// Launching through the shell.
#pragma once
#include <windows.h>

// The shell's launch call; a seam for tests, normally ShellExecuteW.
extern HINSTANCE (WINAPI *g_shell_execute)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

// Home page of the product, opened by the logo item.  The build passes the
// address set in CMake (QV_HOME_PAGE); this is the same default.
#ifndef QV_HOME_PAGE
#define QV_HOME_PAGE L"http://quorvane.example.org/?r=quorvane-shellex-3.0"
#endif

// ShellExecuteW(hwnd, verb, file, parameters, directory, SW_SHOWNORMAL); when
// a verb was given and the type has no such action (SE_ERR_NOASSOC), tries
// once more with the default action.  Returns the last result.
HINSTANCE shell_open(HWND hwnd, const WCHAR *verb, const WCHAR *file, const WCHAR *parameters, const WCHAR *directory);
