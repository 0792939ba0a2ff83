// Console output of the menu host (UTF-8, so that any file name prints).
#pragma once
#include <windows.h>
#include <string>

// Text as it is, on standard output or standard error.
void out(const std::wstring &text);
void err(const std::wstring &text);
// "qv-menu-host: <text>" on standard error.
void fail_message(const std::wstring &text);
// An HRESULT as "0x%08lX".
std::wstring hex(HRESULT hr);
