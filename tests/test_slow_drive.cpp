// The slow drive (with-slow-drive.sh) is a real drive under Wine: what the
// folder behind it holds shows on it, and what is written on it lands there;
// every operation on it is counted (the control file's own use is not),
// delayed, and held while blocking is on until blocking ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <chrono>
#include <set>
#include <string>
#include "slow_drive.h"
#include "test_support.h"

namespace {

class SlowDrive : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(drive.available()) << drive.why_not(); }
    slow_drive drive;
};

std::set<std::wstring> listed(const std::wstring &folder)
{
    std::vector<std::wstring> names = enumerated_names(folder);
    return std::set<std::wstring>(names.begin(), names.end());
}

TEST_F(SlowDrive, ShowsTheFolderBehindIt)
{
    ASSERT_TRUE(make_dir(drive.backing_path(L"shown")));
    ASSERT_TRUE(make_dir(drive.backing_path(L"shown\\sub")));
    ASSERT_TRUE(write_file(drive.backing_path(L"shown\\a.txt"), "alpha"));

    DWORD file = GetFileAttributesW(drive.path(L"shown\\a.txt").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, file);
    EXPECT_FALSE(file & FILE_ATTRIBUTE_DIRECTORY);
    DWORD folder = GetFileAttributesW(drive.path(L"shown\\sub").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, folder);
    EXPECT_TRUE(folder & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ("alpha", read_file(drive.path(L"shown\\a.txt")));
    EXPECT_EQ((std::set<std::wstring>{L"a.txt", L"sub"}), listed(drive.path(L"shown")));
    std::set<std::wstring> root = listed(drive.root());
    EXPECT_EQ(1u, root.count(L"shown"));
    EXPECT_EQ(0u, root.count(L".slowfs-control")) << "the control file is not listed";

    ASSERT_TRUE(write_file(drive.path(L"shown\\b.txt"), "beta"));
    EXPECT_EQ("beta", read_file(drive.backing_path(L"shown\\b.txt")));
    remove_tree(drive.path(L"shown"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(drive.backing_path(L"shown").c_str()))
        << "deleted through the drive";
}

TEST_F(SlowDrive, CountsEachOperationButNotTheControlFile)
{
    ASSERT_TRUE(write_file(drive.backing_path(L"counted.txt")));
    ASSERT_TRUE(drive.reset_operations());
    EXPECT_EQ(0, drive.operations());
    for (int i = 0; i < 5; i++) {
        EXPECT_TRUE(drive.set_delay(0));
        EXPECT_EQ(0, drive.operations()) << "the control file's own use is not counted";
    }

    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(drive.path(L"counted.txt").c_str()));
    long long one = drive.operations();
    EXPECT_GT(one, 0);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(drive.path(L"counted.txt").c_str()));
    long long two = drive.operations();
    EXPECT_GT(two, one);
    EXPECT_EQ(1u, listed(drive.root()).count(L"counted.txt"));
    long long listing = drive.operations() - two;
    EXPECT_GT(listing, 0);
    printf("Operations on the drive: %lld for the first GetFileAttributesW, %lld for the next, "
           "%lld for FindFirstFileW to FindClose over the root\n", one, two - one, listing);
    DeleteFileW(drive.backing_path(L"counted.txt").c_str());
}

TEST_F(SlowDrive, DelaysEachOperation)
{
    ASSERT_TRUE(write_file(drive.backing_path(L"delayed.txt")));
    ASSERT_TRUE(drive.set_delay(10));
    slow_drive_state state;
    ASSERT_TRUE(drive.read_state(&state));
    EXPECT_EQ(10, state.delay_ms);

    // Each look-up is at least one operation of at least 10 ms.
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; i++)
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(drive.path(L"delayed.txt").c_str()));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    EXPECT_TRUE(drive.set_delay(0));
    DeleteFileW(drive.backing_path(L"delayed.txt").c_str());
}

struct held_lookup {
    std::wstring path;
    DWORD attributes;
};

DWORD WINAPI look_up(void *data)
{
    held_lookup *lookup = static_cast<held_lookup *>(data);
    lookup->attributes = GetFileAttributesW(lookup->path.c_str());
    return 0;
}

TEST_F(SlowDrive, HoldsOperationsWhileBlocked)
{
    ASSERT_TRUE(write_file(drive.backing_path(L"held.txt")));
    held_lookup lookup = {drive.path(L"held.txt"), INVALID_FILE_ATTRIBUTES};
    long long before = drive.operations();
    ASSERT_TRUE(drive.block(60000));
    slow_drive_state state;
    ASSERT_TRUE(drive.read_state(&state));
    EXPECT_GT(state.block_ms, 0);

    HANDLE thread = CreateThread(NULL, 0, look_up, &lookup, 0, NULL);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(thread, 1000)) << "the look-up is held";
    EXPECT_GT(drive.operations(), before) << "the look-up reached the drive";

    EXPECT_TRUE(drive.unblock());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 10000)) << "unblocking releases it";
    ASSERT_TRUE(drive.read_state(&state));
    EXPECT_EQ(0, state.block_ms);
    // Should unblock() have failed, blocking ends by itself within a minute.
    WaitForSingleObject(thread, 70000);
    CloseHandle(thread);
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, lookup.attributes);
    DeleteFileW(drive.backing_path(L"held.txt").c_str());
}

}  // namespace
