// The right-click cost a user feels: Initialize + QueryContextMenu + the fill
// at WM_INITMENU, beside the floor for the same work (the enumeration with
// one SHGetFileInfoW(SHGFI_ICON) per item and no menu): for folders of 10,
// 101 and 1,000 text files listed on the calling thread, and for 101 mixed
// entries (programs, texts, .ico files, shortcuts, folders) listed on the
// calling thread and through a worker.  Prints the medians of interleaved
// rounds and their spread, and the GDI objects one right-click holds beside
// the distinct icons it shows.
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include <set>
#include "gdi_objects.h"
#include "mixed_folder.h"
#include "test_support.h"
#include "bench_common.h"
#include "bench_cycle.h"

namespace {

void measure(const wchar_t *what, const std::wstring &dir, int runs, HWND owner, double *first)
{
    right_click_ms(dir, owner);  // warms the icon cache
    std::vector<double> clicks, floors;
    for (int run = 0; run < runs; run++) {
        double start = now_ms();
        enumerate_with_icons(dir);
        floors.push_back(now_ms() - start);
        clicks.push_back(right_click_ms(dir, owner));
    }
    round_stats r = compare_rounds(clicks, floors);
    if (!*first)
        *first = r.measured;
    printf("%-22ls", what);
    print_rounds(r);
    printf(" %10.1f\n", r.measured / *first);
    fflush(stdout);
}

// GDI objects held by one right-click's shown menu, and the distinct
// pictures in it.
void count_objects(const std::wstring &dir, HWND owner)
{
    qv_shellex *ext = qv_shellex::create();
    IDataObject *data = shell_data_object({dir});
    ext->Initialize(NULL, data, NULL);
    data->Release();
    HMENU menu = CreatePopupMenu();
    long before = live_gdi_objects();
    ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    long held = live_gdi_objects() - before;
    std::set<HBITMAP> pictures;
    int with_picture = 0;
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP;
        if (GetMenuItemInfoW(menu, i, TRUE, &info) && info.hbmpItem) {
            pictures.insert(info.hbmpItem);
            with_picture++;
        }
    }
    printf("one right-click on 101 mixed entries: %d entries with a picture, %zu distinct pictures, %ld GDI objects\n",
           with_picture, pictures.size(), held);
    DestroyMenu(menu);
    ext->Release();
}

}  // namespace

int main(int argc, char **argv)
{
    int runs = rounds_from(argc, argv);
    if (FAILED(OleInitialize(NULL)))
        return 2;
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    settings_scope settings;
    printf("%d rounds; measured = Initialize + QueryContextMenu + fill, floor = enumeration + SHGetFileInfoW;\n"
           "ratio = median of the rounds' own ratios, low-high = their lowest and highest\n",
           runs);
    printf("%-22s", "entries");
    print_rounds_header();
    printf(" %10s\n", "x first");
    double first = 0;
    // The whole listing on the calling thread, as with no time limit.
    settings.set(L"ListingTimeLimit", 0);
    for (int files : {10, 101, 1000}) {
        settings.set(L"MaxMenuItems", files > 101 ? 0xFFFFFFFF : 100);
        temp_dir dir(L"qv-bench");
        for (int i = 0; i < files; i++)
            write_file(dir / (L"file" + std::to_wstring(i) + L".txt"));
        measure((std::to_wstring(files) + L" texts, thread").c_str(), dir.path(), runs, owner, &first);
    }
    settings.set(L"MaxMenuItems", 100);
    temp_dir mixed(L"qv-bench-mixed");
    if (!make_mixed_folder(mixed.path(), mixed.path()))
        return 3;
    measure(L"101 mixed, thread", mixed.path(), runs, owner, &first);
    // Through a worker, with room for the whole listing.
    settings.set(L"ListingTimeLimit", 5000);
    measure(L"101 mixed, worker", mixed.path(), runs, owner, &first);
    count_objects(mixed.path(), owner);
    DestroyWindow(owner);
    OleUninitialize();
    return 0;
}
