// Measuring helpers shared by the benchmark programs.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

const int RUNS = 7;

inline double now_ms()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

inline double median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Enumerates and asks the shell for each item's small icon, nothing more.
inline int enumerate_with_icons(const std::wstring &dir)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int items = 0;
    do {
        if (!wcscmp(found.cFileName, L".") || !wcscmp(found.cFileName, L".."))
            continue;
        SHFILEINFOW info = {};
        if (SHGetFileInfoW((dir + L"\\" + found.cFileName).c_str(), 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON))
            DestroyIcon(info.hIcon);
        items++;
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return items;
}

}  // namespace
