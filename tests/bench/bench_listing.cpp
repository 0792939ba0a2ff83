// Time of list_directory on folders of 10, 100 and 1,000 files, beside the
// bare enumeration with one SHGetFileInfoW per item (what the icon
// conversions and the list add), and beside as many conversions of one icon
// alone.  Prints the median of several runs.
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "common/qv_shellex.h"
#include "extension/folder_listing.h"
#include "extension/menu_bitmap.h"
#include "test_support.h"
#include "bench_common.h"


int main()
{
    if (FAILED(OleInitialize(NULL)))
        return 2;
    qv_shellex *ext = qv_shellex::create();
    ext->config = default_settings();
    ext->is_lnk = 0;

    printf("%8s %8s %12s %14s %7s %14s\n", "files", "listed", "listing ms", "enum+icon ms", "ratio",
           "convert-only ms");
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
        for (int run = 0; run < RUNS; run++) {
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
        double bare = median(bare_times), listing = median(listing_times), convert = median(convert_times);
        printf("%8d %8llu %12.2f %14.2f %7.2f %14.2f\n", files, (unsigned long long)listed, listing, bare,
               listing / bare, convert);
    }
    ext->Release();
    OleUninitialize();
    return 0;
}
