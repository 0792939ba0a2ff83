// The cost of one right-click cycle over a long session: 2,000 cycles on a
// 150-item folder, the time of each hundred printed as it is measured, so
// that a cost that grows with the session shows.
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include "test_support.h"
#include "bench_common.h"
#include "bench_cycle.h"

int main(int argc, char **argv)
{
    if (FAILED(OleInitialize(NULL)))
        return 2;
    int cycles = argc > 1 ? atoi(argv[1]) : 2000;
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    settings_scope settings;
    // The whole listing on every right-click, as before the time limit.
    settings.set(L"ListingTimeLimit", 0);
    temp_dir folder;
    for (int i = 0; i < 150; i++)
        write_file(folder / (L"item" + std::to_wstring(i) + L".qvsession"));
    double start = now_ms();
    for (int i = 1; i <= cycles; i++) {
        right_click_ms(folder.path(), owner);
        if (i % 100 == 0) {
            double end = now_ms();
            printf("cycles %5d: %7.1f ms per cycle\n", i, (end - start) / 100);
            fflush(stdout);
            start = end;
        }
    }
    DestroyWindow(owner);
    OleUninitialize();
    return 0;
}
