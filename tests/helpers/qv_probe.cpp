// qv_probe: a program the shell launches in tests.  Writes its working
// directory and its arguments, one per line (UTF-8), to FIRST-ARGUMENT.out.
#include <windows.h>
#include <shellapi.h>
#include <string>

static void append_utf8(std::string *out, const wchar_t *text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, NULL, 0, NULL, NULL);
    if (n <= 1)
        return;
    std::string bytes((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &bytes[0], n, NULL, NULL);
    bytes.resize((size_t)n - 1);
    *out += bytes;
}

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2)
        return 1;
    wchar_t cwd[MAX_PATH] = L"";
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::string report;
    append_utf8(&report, cwd);
    report += "\n";
    for (int i = 1; i < argc; i++) {
        append_utf8(&report, argv[i]);
        report += "\n";
    }
    // Written under another name and renamed, so that a reader never sees
    // half a report.
    std::wstring target = std::wstring(argv[1]) + L".out";
    std::wstring partial = target + L".part";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 2;
    DWORD written = 0;
    WriteFile(file, report.data(), (DWORD)report.size(), &written, NULL);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
