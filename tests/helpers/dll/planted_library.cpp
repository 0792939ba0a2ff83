// A library planted beside a program under the name of one it may load:
// once loaded, it appends its own file name to the file named by the
// environment variable QV_PLANTED_LOG, and stays inert.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t log[MAX_PATH], name[MAX_PATH];
    DWORD n = GetModuleFileNameW(instance, name, MAX_PATH);
    if (!GetEnvironmentVariableW(L"QV_PLANTED_LOG", log, MAX_PATH) || !n || n >= MAX_PATH)
        return TRUE;
    HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(file, name, n * sizeof(wchar_t), &written, NULL);
        WriteFile(file, L"\n", sizeof(wchar_t), &written, NULL);
        CloseHandle(file);
    }
    return TRUE;
}

extern "C" __declspec(dllexport) int planted_library_marker()
{
    return 1;
}
