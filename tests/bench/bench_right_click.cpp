// The right-click cost a user feels: Initialize + QueryContextMenu + the fill
// at WM_INITMENU, for folders of 10, 101 and 1,000 entries, beside the floor
// for the same work (the enumeration with one SHGetFileInfoW per item and no
// menu).  Prints the median of several runs.
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include "test_support.h"
#include "bench_common.h"
#include "bench_cycle.h"

int main()
{
    if (FAILED(OleInitialize(NULL)))
        return 2;
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    settings_scope settings;
    printf("%8s %14s %14s %7s\n", "entries", "right-click ms", "floor ms", "ratio");
    double first = 0;
    for (int files : {10, 101, 1000}) {
        settings.set(L"MaxMenuItems", files > 101 ? 0xFFFFFFFF : 100);
        temp_dir dir(L"qv-bench");
        for (int i = 0; i < files; i++)
            write_file(dir / (L"file" + std::to_wstring(i) + L".txt"));
        right_click_ms(dir.path(), owner);  // warms the icon cache
        std::vector<double> clicks, floors;
        for (int run = 0; run < RUNS; run++) {
            double start = now_ms();
            enumerate_with_icons(dir.path());
            floors.push_back(now_ms() - start);
            clicks.push_back(right_click_ms(dir.path(), owner));
        }
        double click = median(clicks), floor_ms = median(floors);
        if (!first)
            first = click;
        printf("%8d %14.2f %14.2f %7.2f   (x%.1f the 10-entry cost)\n", files, click, floor_ms, click / floor_ms,
               click / first);
    }
    DestroyWindow(owner);
    OleUninitialize();
    return 0;
}
