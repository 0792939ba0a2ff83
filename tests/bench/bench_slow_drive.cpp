// Right-clicks on a slow drive (slowfs, mounted by with-slow-drive.sh): first
// the drive operations per entry of a whole listing, for entries that show
// their type's picture (text files) and for the mixed entries below, and the
// names a right-click shows within 300 ms at 1 ms per operation; then a
// folder of 101 mixed entries (programs with icons, text files, shortcuts,
// .ico files, sub-folders) at 0, 2 and 10 ms per file-system operation, with
// the default time limit and with none.  For each: how long the host's
// thread is held (Initialize + QueryContextMenu), the entries shown, the
// operations made while it was held and until the listing ended, and the
// same for the next right-click on the unchanged folder.  Then the drive
// dies: the held time and the entries shown for a healthy local folder after
// N right-clicks on the dead drive.
//
// Usage: with-slow-drive.sh wine-run.sh bench_slow_drive.exe [rounds]
// (rounds at 0 ms; one round at the slower delays unless given).
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "listing/listing_job.h"
#include "mixed_folder.h"
#include "slow_drive.h"
#include "test_support.h"
#include "bench_common.h"

namespace {

// A name added and removed in the folder `behind`: its last-write time
// moves, so no listing kept from before is shown.
void change_folder(const std::wstring &behind)
{
    std::wstring file = behind + L"\\changed.tmp";
    write_file(file);
    DeleteFileW(file.c_str());
    Sleep(1100);  // past the kernel's attribute cache of the mount
}

struct click_figures {
    double held_ms;
    UINT64 entries;
    bool partial;
    long long held_ops;   // while the host's thread was held
    long long total_ops;  // until the listing ended in the background
};

// Initialize and QueryContextMenu on `folder` with a new object: the time
// they held the host's thread and the entries they left.
click_figures held_click(const std::wstring &folder)
{
    qv_shellex *ext = qv_shellex::create();
    IDataObject *data = hdrop_data_object({folder});
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    double start = now_ms();
    ext->Initialize(NULL, data, NULL);
    ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    click_figures f = {};
    f.held_ms = now_ms() - start;
    f.entries = ext->list.entry_count;
    f.partial = f.entries > 0 && wcscmp(list_name(&ext->list, f.entries - 1), L".") == 0 && f.entries < 102;
    DestroyMenu(menu);
    data->Release();
    ext->Release();
    return f;
}

click_figures right_click(slow_drive &drive, const std::wstring &folder)
{
    drive.reset_operations();
    click_figures f = held_click(folder);
    f.held_ops = drive.operations();
    while (listing_workers() != 0)
        Sleep(20);
    f.total_ops = drive.operations();
    return f;
}

// A dead drive (every operation held): after N right-clicks on its folders,
// one on a healthy local folder of the same 101 entries, changed before
// each so that nothing kept is shown.
void dead_drive(slow_drive &drive, settings_scope &settings, const std::wstring &healthy)
{
    printf("\nDead drive: N right-clicks on its folders, then one on a healthy local folder (limit 300)\n");
    printf("%8s %16s %8s %10s %15s\n", "N", "held ms (dead)", "workers", "held ms", "entries");
    settings.set(L"ListingTimeLimit", 300);
    drive.block(600000);
    int clicked = 0;
    double dead_held = 0;
    for (int n : {0, 2, 4, 16, 40}) {
        for (; clicked < n; clicked++) {
            click_figures dead = held_click(drive.path(L"mixed\\folder" + std::to_wstring(clicked % 11)));
            dead_held = dead.held_ms > dead_held ? dead.held_ms : dead_held;
        }
        change_folder(healthy);
        click_figures f = held_click(healthy);
        printf("%8d %16.1f %8ld %10.1f %8llu%s\n", n, dead_held, (long)listing_workers(), f.held_ms,
               (unsigned long long)f.entries, f.partial ? " (part)" : "");
        fflush(stdout);
    }
    drive.unblock();
    while (listing_workers() != 0)
        Sleep(20);
}

// Operations per entry of a whole listing (no limit, no delay) of 101 text
// files and of the 101 mixed entries; then, at 1 ms per operation and the
// default limit, the names the first right-click on the changed mixed
// folder shows.
void per_entry(slow_drive &drive, settings_scope &settings)
{
    make_dir(drive.backing_path(L"texts"));
    for (int i = 0; i < 101; i++)
        write_file(drive.backing_path(L"texts\\note" + std::to_wstring(i) + L".txt"));
    settings.set(L"ListingTimeLimit", 0);
    printf("Operations per entry of a whole listing (limit none, delay 0), beside the bare enumeration\n"
           "(FindFirstFileW to FindClose)\n");
    for (const wchar_t *name : {L"texts", L"mixed"}) {
        change_folder(drive.backing_path(name));
        click_figures f = right_click(drive, drive.path(name));
        drive.reset_operations();
        enumerated_names(drive.path(name));
        long long bare = drive.operations();
        printf("%-8ls listing %6lld ops %6.1f per entry; enumeration %6lld ops %6.1f per entry\n", name,
               f.total_ops, f.total_ops / 101.0, bare, bare / 101.0);
    }
    drive.set_delay(1);
    settings.set(L"ListingTimeLimit", 300);
    for (int round = 0; round < 3; round++) {
        change_folder(drive.backing_path(L"mixed"));
        click_figures f = right_click(drive, drive.path(L"mixed"));
        printf("1 ms per operation, limit 300: held %.1f ms, %llu entries shown%s\n", f.held_ms,
               (unsigned long long)f.entries, f.partial ? " (part)" : "");
    }
    drive.set_delay(0);
    printf("\n");
    fflush(stdout);
}

void print(const char *what, DWORD delay, const char *limit, const click_figures &f)
{
    printf("%-7s %5lu ms  %-6s %10.1f %8llu%s %10lld %10lld\n", what, (unsigned long)delay, limit, f.held_ms,
           (unsigned long long)f.entries, f.partial ? " (part)" : "       ", f.held_ops, f.total_ops);
    fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    if (FAILED(OleInitialize(NULL)))
        return 2;
    slow_drive drive;
    if (!drive.available()) {
        fprintf(stderr, "no slow drive: %ls\n", drive.why_not().c_str());
        return 2;
    }
    int rounds = argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : 0;
    settings_scope settings;
    temp_dir local(L"qv-healthy");
    const std::wstring healthy = local / L"mixed";
    if (!make_mixed_folder(drive.backing_path(L"mixed"), drive.path(L"mixed")) ||
        !make_mixed_folder(healthy, healthy)) {
        fprintf(stderr, "cannot make the sample folders\n");
        return 2;
    }
    const std::wstring folder = drive.path(L"mixed");
    right_click(drive, folder);  // warms the shell's icon cache
    per_entry(drive, settings);
    printf("101 entries on a slow drive; held = Initialize + QueryContextMenu on the host's thread;\n"
           "ops = file-system operations while held, and in all until the listing ended\n");
    printf("%-7s %8s  %-6s %10s %15s %10s %10s\n", "click", "delay", "limit", "held ms", "entries", "held ops",
           "total ops");
    right_click(drive, folder);  // warms the shell's icon cache
    for (DWORD delay : {0u, 2u, 10u}) {
        int n = rounds ? rounds : delay == 0 ? 3 : 1;
        drive.set_delay(delay);
        for (int round = 0; round < n; round++) {
            change_folder(drive.backing_path(L"mixed"));
            settings.set(L"ListingTimeLimit", 300);
            print("first", delay, "300", right_click(drive, folder));
            print("second", delay, "300", right_click(drive, folder));
            settings.set(L"ListingTimeLimit", 0);
            change_folder(drive.backing_path(L"mixed"));
            print("first", delay, "none", right_click(drive, folder));
        }
    }
    drive.set_delay(0);
    held_click(healthy);  // warms the shell's icon cache for the local copy
    dead_drive(drive, settings, healthy);
    OleUninitialize();
    return 0;
}
