// A big folder listed sorted (SortEntries), at MaxMenuItems 1,000 and 100:
// how long the host's thread is held by list_in_time with the default
// 300 ms limit, how many names it then shows, and how long the worker takes
// for the whole folder beside the bare enumeration.  The folder is made by
// tests/support/make_big_folder.sh (a hundred thousand files) and given as
// a path: bench_sorted_listing FOLDER [rounds].
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "common/qv_config.h"
#include "listing/folder_listing.h"
#include "listing/kept_listings.h"
#include "listing/listing_job.h"
#include "bench_common.h"

static int bare_enumeration(const wchar_t *dir)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((std::wstring(dir) + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int items = 0;
    do
        items += wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L"..");
    while (FindNextFileW(find, &found));
    FindClose(find);
    return items;
}

static void wait_for_workers()
{
    while (listing_workers() > 0)
        Sleep(10);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_sorted_listing FOLDER [rounds]\n");
        return 2;
    }
    std::wstring folder(argv[1], argv[1] + strlen(argv[1]));
    int runs = rounds_from(argc - 1, argv + 1);
    if (FAILED(OleInitialize(NULL)))
        return 2;
    g_kept_listing_ms = 0;  // every round reads the folder
    int items = bare_enumeration(folder.c_str());
    printf("%d items, %d rounds; held = list_in_time at a 300 ms limit, shown = its entries;\n"
           "measured = list_folder sorted to its end, floor = the bare enumeration\n",
           items, runs);
    printf("%8s %12s %8s", "max", "held ms", "shown");
    print_rounds_header();
    printf("\n");
    for (DWORD max_items : {1000u, 100u}) {
        qv_config config = {};
        config.MaxMenuItems = max_items;
        config.SortEntries = 1;
        qv_listing_rules rules = listing_rules(&config, 0);
        std::vector<double> held, whole, bare;
        UINT64 shown = 0;
        for (int run = 0; run < runs; run++) {
            qv_item_list out = {};
            double start = now_ms();
            list_in_time(folder.c_str(), INVALID_FILE_ATTRIBUTES, &rules, deadline_after(300), &out);
            held.push_back(now_ms() - start);
            shown = out.entry_count;
            list_clear(&out);
            wait_for_workers();
            kept_listings_expire();

            start = now_ms();
            list_folder(&out, folder.c_str(), &rules, NULL);
            whole.push_back(now_ms() - start);
            list_clear(&out);

            start = now_ms();
            bare_enumeration(folder.c_str());
            bare.push_back(now_ms() - start);
        }
        printf("%8lu %12.1f %8llu", (unsigned long)max_items, median(held), (unsigned long long)shown);
        print_rounds(compare_rounds(whole, bare));
        printf("\n");
        fflush(stdout);
    }
    OleUninitialize();
    return 0;
}
