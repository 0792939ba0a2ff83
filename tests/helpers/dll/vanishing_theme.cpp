// A stand-in for the theme library that empties and removes a folder while
// it is being listed: on its QV_VANISH_AFTER-th load it deletes every file in
// QV_VANISH_FOLDER and tries to remove the folder itself (which an open
// enumeration may keep).  Buffered painting always
// fails, as in stand_in_theme.
#include <windows.h>
#include <stdlib.h>
#include <wchar.h>

static void remove_folder(const wchar_t *folder)
{
    wchar_t path[MAX_PATH + 8];
    if (_snwprintf(path, MAX_PATH, L"%ls\\*", folder) < 0)
        return;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path, &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            if (_snwprintf(path, MAX_PATH, L"%ls\\%ls", folder, found.cFileName) >= 0)
                DeleteFileW(path);
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t text[16] = L"0", after[16] = L"0", folder[MAX_PATH] = L"";
    GetEnvironmentVariableW(L"QV_VANISH_LOADS", text, 16);
    int loads = _wtoi(text) + 1;
    _itow(loads, text, 10);
    SetEnvironmentVariableW(L"QV_VANISH_LOADS", text);
    GetEnvironmentVariableW(L"QV_VANISH_AFTER", after, 16);
    if (loads == _wtoi(after) && GetEnvironmentVariableW(L"QV_VANISH_FOLDER", folder, MAX_PATH))
        remove_folder(folder);
    return TRUE;
}

#include "failing_paint.h"
