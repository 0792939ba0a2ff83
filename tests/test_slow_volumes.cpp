// Volumes as the server or device that answers (slowfs, mounted by
// with-slow-drive.sh as N:, as \\qvslow\share to share9 and as the network
// drive M: mapped to \\qvslow\share): a dead server holds two workers
// however it is named; requests beyond a volume's workers wait their turn;
// a kept listing follows the items of its folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "listing/listing_job.h"
#include "right_click.h"
#include "slow_drive_test.h"
#include "test_support.h"

namespace {

class slow_volumes : public slow_drive_test {
protected:
    // A folder behind the drive with `count` files named noteN + `type`.
    void make_folder(const std::wstring &name, int count, const wchar_t *type = L".txt")
    {
        std::wstring behind = drive.backing_path(name);
        remove_tree(behind);
        ASSERT_TRUE(make_dir(behind));
        for (int i = 0; i < count; i++)
            ASSERT_TRUE(write_file(behind + L"\\note" + std::to_wstring(i) + type));
    }
    std::vector<std::wstring> sorted_names(const std::wstring &item)
    {
        std::vector<std::wstring> names = right_click(ext, item).names;
        std::sort(names.begin(), names.end());
        return names;
    }
};

bool shows(const click &r, const wchar_t *name)
{
    return std::find(r.names.begin(), r.names.end(), name) != r.names.end();
}

TEST_F(slow_volumes, OneDeadServerHoldsTwoWorkersHoweverItIsNamed)
{
    make_folder(L"dead", 2);
    // The letter's server is found while it answers.
    ASSERT_EQ(2u, right_click(ext, L"M:\\dead").names.size());
    ASSERT_TRUE(listing_workers_end());
    temp_dir local;
    ASSERT_TRUE(write_file(local / L"a.txt"));
    // (A root would read its volume's serial number, which Wine asks of a
    // service that waits for the dead drive; Windows asks the volume.)
    std::wstring other = L"\\\\qvother\\share\\docs";
    ASSERT_TRUE(make_dir(drive.backing() + L"\\..\\other\\docs"));
    ASSERT_TRUE(write_file(drive.backing() + L"\\..\\other\\docs\\b.txt"));
    ASSERT_EQ(std::vector<std::wstring>{L"b.txt"}, sorted_names(other));
    ASSERT_TRUE(listing_workers_end());
    ASSERT_TRUE(drive.block(blocked_ms));

    std::vector<std::wstring> names = {L"M:\\dead"};
    for (const wchar_t *share : {L"share", L"share2", L"share3", L"share4", L"share5", L"share6", L"share7",
                                 L"share8", L"share9"})
        names.push_back(std::wstring(L"\\\\qvslow\\") + share + L"\\dead");
    for (const std::wstring &name : names) {
        click r = right_click(ext, name);
        EXPECT_LT(r.ms, back_soon_ms) << testing::PrintToString(name);
        EXPECT_TRUE(r.reserved == 0 || r.names == std::vector<std::wstring>{L"."}) << testing::PrintToString(name);
    }
    EXPECT_EQ(QV_MAX_VOLUME_WORKERS, listing_workers()) << "one server, however many shares and letters";
    EXPECT_GT(listing_requests_queued(), 0);

    settings.set(L"ListingTimeLimit", 5000);
    EXPECT_EQ(std::vector<std::wstring>{L"a.txt"}, sorted_names(local.path()));
    EXPECT_EQ(std::vector<std::wstring>{L"b.txt"}, sorted_names(other));
}

TEST_F(slow_volumes, ARequestOnABusyVolumeIsServedWhenAWorkerFrees)
{
    for (const wchar_t *name : {L"big1", L"big2", L"big3"})
        make_folder(name, 40, L".ico");
    make_folder(L"small", 3);
    drive.set_delay(3);
    settings.set(L"ListingTimeLimit", 100);
    for (const wchar_t *name : {L"big1", L"big2", L"big3"})
        EXPECT_LT(right_click(ext, drive.path(name)).ms, back_soon_ms);
    click queued = right_click(ext, drive.path(L"small"));
    EXPECT_LT(queued.ms, back_soon_ms);
    EXPECT_EQ(std::vector<std::wstring>{L"."}, queued.names) << "waiting its turn: nothing read yet";
    EXPECT_EQ(QV_MAX_VOLUME_WORKERS, listing_workers());
    EXPECT_EQ(2, listing_requests_queued());

    // Its turn came: the next right-click has it whole at once.
    ASSERT_TRUE(listing_workers_end());
    EXPECT_EQ(0, listing_requests_queued());
    click served = right_click(ext, drive.path(L"small"));
    EXPECT_EQ(3u, served.names.size());
    EXPECT_FALSE(shows(served, L"."));
}

// A file made hidden moves none of its folder's times.  On a local disk the
// very next right-click leaves it out; on a slow drive the kept listing may
// show it once more, and is checked behind it.
TEST_F(slow_volumes, AFileMadeHiddenIsShownNoMore)
{
    temp_dir local;
    make_folder(L"hiding", 6, L".lnk");
    struct place {
        std::wstring folder, behind;
        DWORD delay_ms;
        int late_by;  // right-clicks that may still show it
    } places[] = {
        {local.path(), local.path(), 0, 0},
        {drive.path(L"hiding"), drive.backing_path(L"hiding"), 3, 1},
    };
    for (int i = 0; i < 6; i++)
        ASSERT_TRUE(write_file(local / (L"note" + std::to_wstring(i) + L".lnk")));
    for (const place &at : places) {
        drive.set_delay(at.delay_ms);
        settings.set(L"ListingTimeLimit", 1);
        click first = right_click(ext, at.folder);
        ASSERT_TRUE(listing_workers_end());
        settings.set(L"ListingTimeLimit", 5000);
        ASSERT_TRUE(shows(right_click(ext, at.folder), L"note0.lnk")) << "kept, or listed";
        ASSERT_TRUE(listing_workers_end());

        ASSERT_TRUE(SetFileAttributesW((at.behind + L"\\note0.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN));
        for (int late = 0; late < at.late_by; late++) {
            right_click(ext, at.folder);
            ASSERT_TRUE(listing_workers_end());
        }
        click after = right_click(ext, at.folder);
        EXPECT_FALSE(shows(after, L"note0.lnk")) << testing::PrintToString(at.folder) << " first: " << first.names.size();
        EXPECT_TRUE(shows(after, L"note1.lnk"));
    }
}

}  // namespace
