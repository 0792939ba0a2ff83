// Volumes and queues on the slow drive (slowfs, mounted by
// with-slow-drive.sh as N:, as the shares \\qvslow\share to share9 and as
// the network drive M:).
//
// Dead server: the drive is blocked, and N right-clicks go to folders of it
// under its nine share names and its mapped letter, in turn; then one
// right-click on a local folder and one on another server's share, each
// time: the workers in use, the requests queued, the longest the host's
// thread was held by the dead server's folders, and what the healthy
// folders showed and how long they held it.
//
// Busy drive: at 3 ms per operation, right-clicks on B big folders, then on
// a small one, then on the small one again every 100 ms until it shows its
// whole listing: after how many right-clicks and how long.
//
// Usage: with-slow-drive.sh wine-run.sh bench_slow_volumes.exe
#include <windows.h>
#include <ole2.h>
#include <stdio.h>
#include <string>
#include "extension/qv_shellex.h"
#include "listing/listing_job.h"
#include "right_click.h"
#include "slow_drive.h"
#include "test_support.h"
#include "bench_common.h"

namespace {

struct held {
    double ms;
    size_t entries;
};

held timed_click(const std::wstring &folder)
{
    qv_shellex *ext = qv_shellex::create();
    double start = now_ms();
    click r = right_click(ext, folder);
    held h = {now_ms() - start, r.reserved ? r.names.size() : 0};
    ext->Release();
    return h;
}

void dead_server(slow_drive &drive, settings_scope &settings, const std::wstring &local, const std::wstring &other)
{
    printf("Dead server: N right-clicks on its folders under 9 share names and a mapped letter (limit 300)\n");
    printf("%6s %8s %7s %10s %12s %9s %12s %9s\n", "N", "workers", "queued", "dead ms", "local ms", "entries",
           "other ms", "entries");
    settings.set(L"ListingTimeLimit", 300);
    timed_click(L"M:\\dead");  // the letter's server is found while it answers
    while (listing_workers() != 0)
        Sleep(20);
    drive.block(600000);
    int clicked = 0;
    double dead_ms = 0;
    for (int n : {0, 10, 20, 40, 80}) {
        for (; clicked < n; clicked++) {
            int which = clicked % 10;
            std::wstring name = which == 0   ? L"M:\\dead"
                                : which == 1 ? drive.share_path(L"dead")
                                             : drive.share() + std::to_wstring(which) + L"\\dead";
            held h = timed_click(name + L"\\" + std::to_wstring(clicked % 7));
            dead_ms = h.ms > dead_ms ? h.ms : dead_ms;
        }
        held l = timed_click(local), o = timed_click(other);
        printf("%6d %8ld %7ld %10.1f %12.1f %9zu %12.1f %9zu\n", n, (long)listing_workers(),
               (long)listing_requests_queued(), dead_ms, l.ms, l.entries, o.ms, o.entries);
        fflush(stdout);
    }
    drive.unblock();
    while (listing_workers() != 0)
        Sleep(20);
}

void busy_drive(slow_drive &drive, settings_scope &settings)
{
    printf("\nBusy drive, 3 ms per operation (limit 300): B big folders of 100 .ico files, then a small one\n");
    printf("%4s %12s %12s %14s\n", "B", "right-clicks", "ms to whole", "small entries");
    settings.set(L"ListingTimeLimit", 300);
    for (int big : {2, 3, 6}) {
        std::wstring small = L"small" + std::to_wstring(big);
        make_dir(drive.backing_path(small));
        for (int i = 0; i < 3; i++)
            write_file(drive.backing_path(small + L"\\note" + std::to_wstring(i) + L".txt"));
        for (int b = 0; b < big; b++) {
            std::wstring name = L"big" + std::to_wstring(big) + L"-" + std::to_wstring(b);
            make_dir(drive.backing_path(name));
            for (int i = 0; i < 100; i++)
                write_file(drive.backing_path(name + L"\\icon" + std::to_wstring(i) + L".ico"));
        }
        drive.set_delay(3);
        for (int b = 0; b < big; b++)
            timed_click(drive.path(L"big" + std::to_wstring(big) + L"-" + std::to_wstring(b)));
        double start = now_ms();
        int clicks = 0;
        held h = {};
        while (now_ms() - start < 120000) {
            h = timed_click(drive.path(small));
            clicks++;
            if (h.entries == 3)
                break;
            Sleep(100);
        }
        printf("%4d %12d %12.0f %14zu\n", big, clicks, now_ms() - start, h.entries);
        fflush(stdout);
        drive.set_delay(0);
        while (listing_workers() != 0)
            Sleep(20);
    }
}

}  // namespace

int main()
{
    if (FAILED(OleInitialize(NULL)))
        return 2;
    slow_drive drive;
    if (!drive.available()) {
        fprintf(stderr, "no slow drive: %ls\n", drive.why_not().c_str());
        return 2;
    }
    settings_scope settings;
    temp_dir local(L"qv-local");
    write_file(local / L"a.txt");
    make_dir(drive.backing_path(L"dead"));
    std::wstring other_behind = drive.backing() + L"\\..\\other\\docs";
    make_dir(other_behind);
    write_file(other_behind + L"\\b.txt");
    dead_server(drive, settings, local.path(), L"\\\\qvother\\share\\docs");
    busy_drive(drive, settings);
    OleUninitialize();
    return 0;
}
