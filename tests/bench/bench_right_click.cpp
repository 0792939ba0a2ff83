// The right-click cost a user feels: Initialize + QueryContextMenu + the fill
// at WM_INITMENU, for folders of 10, 101 and 1,000 entries, beside the floor
// for the same work (the enumeration with one SHGetFileInfoW per item and no
// menu).  Prints the medians of interleaved rounds and their spread.
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include "test_support.h"
#include "bench_common.h"
#include "bench_cycle.h"

int main(int argc, char **argv)
{
    int runs = rounds_from(argc, argv);
    if (FAILED(OleInitialize(NULL)))
        return 2;
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    settings_scope settings;
    // The whole listing on every right-click, as before the time limit.
    settings.set(L"ListingTimeLimit", 0);
    printf("%d rounds; measured = Initialize + QueryContextMenu + fill, floor = enumeration + SHGetFileInfoW;\n"
           "ratio = median of the rounds' own ratios, low-high = their lowest and highest\n",
           runs);
    printf("%8s", "entries");
    print_rounds_header();
    printf(" %10s\n", "x 10-entry");
    double first = 0;
    for (int files : {10, 101, 1000}) {
        settings.set(L"MaxMenuItems", files > 101 ? 0xFFFFFFFF : 100);
        temp_dir dir(L"qv-bench");
        for (int i = 0; i < files; i++)
            write_file(dir / (L"file" + std::to_wstring(i) + L".txt"));
        right_click_ms(dir.path(), owner);  // warms the icon cache
        std::vector<double> clicks, floors;
        for (int run = 0; run < runs; run++) {
            double start = now_ms();
            enumerate_with_icons(dir.path());
            floors.push_back(now_ms() - start);
            clicks.push_back(right_click_ms(dir.path(), owner));
        }
        round_stats r = compare_rounds(clicks, floors);
        if (!first)
            first = r.measured;
        printf("%8d", files);
        print_rounds(r);
        printf(" %10.1f\n", r.measured / first);
        fflush(stdout);
    }
    DestroyWindow(owner);
    OleUninitialize();
    return 0;
}
