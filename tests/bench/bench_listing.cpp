// Time of list_directory on folders of 10, 100 and 1,000 files, beside the
// bare enumeration with one SHGetFileInfoW per item (what the icon
// conversions and the list add), and beside as many conversions of one icon
// alone.  Prints the medians of interleaved rounds and their spread.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "extension/list_directory.h"
#include "listing/folder_listing.h"
#include "menu/menu_bitmap.h"
#include "test_support.h"
#include "bench_common.h"


int main(int argc, char **argv)
{
    int runs = rounds_from(argc, argv);
    if (FAILED(OleInitialize(NULL)))
        return 2;
    qv_shellex *ext = qv_shellex::create();
    ext->config = default_settings();
    ext->is_lnk = 0;

    printf("%d rounds; measured = list_directory, floor = enumeration + SHGetFileInfoW;\n"
           "ratio = median of the rounds' own ratios, low-high = their lowest and highest\n",
           runs);
    printf("%8s %8s", "files", "listed");
    print_rounds_header();
    printf(" %15s\n", "convert-only ms");
    for (int files : {10, 100, 1000}) {
        temp_dir dir(L"qv-bench");
        for (int i = 0; i < files; i++)
            write_file(dir / (L"file" + std::to_wstring(i) + L".txt"));
        ext->config.MaxMenuItems = files > 100 ? 0xFFFFFFFF : 100;
        // One untimed pass of each warms the shell's icon cache.
        enumerate_with_icons(dir.path());
        list_directory(ext, dir.path().c_str());
        UINT64 listed = ext->list.entry_count;
        list_clear(&ext->list);

        // The three measures take turns, so that drift touches each alike.
        SHFILEINFOW info = {};
        SHGetFileInfoW((dir / L"file0.txt").c_str(), 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON);
        std::vector<double> bare_times, listing_times, convert_times;
        for (int run = 0; run < runs; run++) {
            double start = now_ms();
            enumerate_with_icons(dir.path());
            bare_times.push_back(now_ms() - start);

            start = now_ms();
            list_directory(ext, dir.path().c_str());
            listing_times.push_back(now_ms() - start);
            list_clear(&ext->list);

            start = now_ms();
            for (int i = 0; i < files; i++)
                DeleteObject(make_menu_bitmap(info.hIcon));
            convert_times.push_back(now_ms() - start);
        }
        DestroyIcon(info.hIcon);
        printf("%8d %8llu", files, (unsigned long long)listed);
        print_rounds(compare_rounds(listing_times, bare_times));
        printf(" %15.2f\n", median(convert_times));
        fflush(stdout);
    }
    ext->Release();
    OleUninitialize();
    return 0;
}
