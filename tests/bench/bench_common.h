// Measuring helpers shared by the benchmark programs.
#pragma once
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <string>
#include <vector>

namespace {

// Rounds per size unless the command line gives another number; odd, so that
// the median is one of them.
const int RUNS = 15;

inline int rounds_from(int argc, char **argv)
{
    return argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : RUNS;
}

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

// A measure taken beside its floor in the same rounds: the medians of both,
// the median, lowest and highest of the rounds' own ratios (measured / that
// round's floor), and the range of each time.
struct round_stats {
    double measured, floor, ratio, lowest, highest, measured_min, measured_max, floor_min, floor_max;
};

inline round_stats compare_rounds(const std::vector<double> &measured, const std::vector<double> &floors)
{
    std::vector<double> ratios;
    for (size_t i = 0; i < measured.size(); i++)
        ratios.push_back(measured[i] / floors[i]);
    auto ratio_range = std::minmax_element(ratios.begin(), ratios.end());
    auto measured_range = std::minmax_element(measured.begin(), measured.end());
    auto floor_range = std::minmax_element(floors.begin(), floors.end());
    return {median(measured),
            median(floors),
            median(ratios),
            *ratio_range.first,
            *ratio_range.second,
            *measured_range.first,
            *measured_range.second,
            *floor_range.first,
            *floor_range.second};
}

// The columns every benchmark prints for a `round_stats`, after its own leading ones.
inline void print_rounds_header()
{
    printf(" %11s %11s %6s %11s %17s %17s", "measured ms", "floor ms", "ratio", "low-high", "measured min-max",
           "floor min-max");
}

inline void print_rounds(const round_stats &r)
{
    printf(" %11.2f %11.2f %6.2f %5.2f-%-5.2f %8.1f-%-8.1f %8.1f-%-8.1f", r.measured, r.floor, r.ratio, r.lowest,
           r.highest, r.measured_min, r.measured_max, r.floor_min, r.floor_max);
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
