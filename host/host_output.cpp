#include "host_output.h"
#include <wchar.h>

static void write_utf8(HANDLE handle, const std::wstring &text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string utf8(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &utf8[0], size, NULL, NULL);
    DWORD written;
    WriteFile(handle, utf8.data(), (DWORD)utf8.size(), &written, NULL);
}

void out(const std::wstring &text)
{
    write_utf8(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

void err(const std::wstring &text)
{
    write_utf8(GetStdHandle(STD_ERROR_HANDLE), text);
}

void fail_message(const std::wstring &text)
{
    err(L"qv-menu-host: " + text + L"\n");
}

std::wstring hex(HRESULT hr)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", (unsigned long)hr);
    return text;
}
