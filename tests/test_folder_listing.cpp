// Folder listing on real folders: filters, dot rules, the limit and its "."
// entry, the end sentinel, icons.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <memory>
#include <stdint.h>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "extension/list_directory.h"
#include "listing/folder_listing.h"
#include "listing/kept_listings.h"
#include "listing/listing_job.h"
#include "listing/shortcut.h"
#include "gdi_objects.h"
#include "test_support.h"

namespace {

struct object_deleter {
    void operator()(qv_shellex *ext) const { ext->Release(); }
};
using object_ptr = std::unique_ptr<qv_shellex, object_deleter>;

// An object as Initialize leaves it, with the default settings.
object_ptr listing_object(DWORD is_lnk = 0)
{
    object_ptr ext(qv_shellex::create());
    ext->config = default_settings();
    ext->is_lnk = is_lnk;
    return ext;
}

// Clears and lists, as QueryContextMenu does.
void relist(qv_shellex *ext, const std::wstring &dir)
{
    list_clear(&ext->list);
    list_directory(ext, dir.c_str());
}

std::vector<std::wstring> names(const qv_item_list &list)
{
    std::vector<std::wstring> result;
    for (UINT64 i = 0; i < list.entry_count; i++)
        result.push_back(list_name(&list, i));
    return result;
}

bool contains(const std::vector<std::wstring> &all, const wchar_t *name)
{
    for (const std::wstring &each : all)
        if (each == name)
            return true;
    return false;
}

// Every counted name ends right before the next record's offset, the last
// one before the sentinel's, which points at the pool's last NUL.
void expect_well_formed(const qv_item_list &list)
{
    if (list.entry_count == 0)
        return;
    ASSERT_LT(list.entry_count, list.entry_capacity);
    for (UINT64 i = 0; i < list.entry_count; i++) {
        UINT64 end = list.entries[i + 1].name_offset - 1;
        EXPECT_EQ(0, list.pool[end]) << "entry " << i;
        EXPECT_EQ(wcslen(list_name(&list, i)), end - list.entries[i].name_offset) << "entry " << i;
    }
    EXPECT_EQ(list.pool_used - 1, list.entries[list.entry_count].name_offset);
    EXPECT_EQ(QV_NO_ICON, list.entries[list.entry_count].icon);
}

void fill_folder(const temp_dir &dir, int count)
{
    for (int i = 0; i < count; i++)
        ASSERT_TRUE(write_file(dir / (L"item" + std::to_wstring(i) + L".txt")));
}

bool reported_hidden(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
}

}  // namespace

TEST(FolderListing, HiddenItemsAndCompiledFilesSkipped)
{
    temp_dir dir;
    for (const wchar_t *name : {L"a.dll", L"b.pyc", L"c.pyo", L"keep.txt", L"d.Pyc", L"x.dllx", L"h.txt", L"s.txt"})
        ASSERT_TRUE(write_file(dir / name));
    ASSERT_TRUE(make_dir(dir / L"sub"));
    ASSERT_TRUE(make_dir(dir / L"hidden sub"));
    ASSERT_TRUE(SetFileAttributesW((dir / L"h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW((dir / L"hidden sub").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY));
    ASSERT_TRUE(SetFileAttributesW((dir / L"s.txt").c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(reported_hidden(dir / L"h.txt"));

    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());
    std::vector<std::wstring> listed = names(ext->list);
    EXPECT_EQ(5u, listed.size());
    for (const wchar_t *name : {L"keep.txt", L"d.Pyc", L"x.dllx", L"s.txt", L"sub"})
        EXPECT_TRUE(contains(listed, name)) << name;
    expect_well_formed(ext->list);

    // Upper-case extensions are kept (a folder of its own: the file system
    // folds case, so 'A.DLL' and 'a.dll' cannot sit side by side).
    temp_dir upper;
    ASSERT_TRUE(write_file(upper / L"A.DLL"));
    ASSERT_TRUE(write_file(upper / L"e.PYO"));
    relist(ext.get(), upper.path());
    listed = names(ext->list);
    EXPECT_EQ(2u, listed.size());
    EXPECT_TRUE(contains(listed, L"A.DLL"));
    EXPECT_TRUE(contains(listed, L"e.PYO"));
}

// Wine reports Unix dot-files as hidden unless its ShowDotFiles option is on,
// which a process reads when it starts: there the checks run in a child.
TEST(FolderListing, DotNames)
{
    temp_dir probe;
    ASSERT_TRUE(write_file(probe / L".probe"));
    if (reported_hidden(probe / L".probe")) {
        wchar_t child[8] = L"";
        ASSERT_EQ(0u, GetEnvironmentVariableW(L"QV_DOT_CHILD", child, 8)) << "ShowDotFiles had no effect";
        const std::wstring key = L"Software\\Wine";
        std::wstring saved;
        bool had = reg_read_string(HKEY_CURRENT_USER, key, L"ShowDotFiles", &saved);
        ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, key, L"ShowDotFiles", REG_SZ, L"Y", 4));
        SetEnvironmentVariableW(L"QV_DOT_CHILD", L"1");
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        DWORD code = run_process(L"\"" + std::wstring(self) + L"\" --gtest_filter=FolderListing.DotNames");
        SetEnvironmentVariableW(L"QV_DOT_CHILD", NULL);
        if (had)
            reg_set_value(HKEY_CURRENT_USER, key, L"ShowDotFiles", REG_SZ, saved.c_str(),
                          (DWORD)((saved.size() + 1) * sizeof(wchar_t)));
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"ShowDotFiles");
        EXPECT_EQ(0u, code) << "the dot-name checks failed in the child";
        return;
    }

    temp_dir dir;
    ASSERT_TRUE(make_dir(dir / L".git"));
    ASSERT_TRUE(write_file(dir / L"..x"));
    ASSERT_TRUE(write_file(dir / L".dll"));
    ASSERT_TRUE(write_file(dir / L"plain"));

    // A folder: "." and ".." are skipped, other dot-names pass, ".dll" is
    // filtered by its extension.
    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());
    std::vector<std::wstring> listed = names(ext->list);
    EXPECT_EQ(3u, listed.size());
    for (const wchar_t *name : {L".git", L"..x", L"plain"})
        EXPECT_TRUE(contains(listed, name)) << name;

    // A shortcut's target also shows its "..", unless HideItemDotDot is set.
    object_ptr lnk = listing_object(1);
    relist(lnk.get(), dir.path());
    listed = names(lnk->list);
    EXPECT_EQ(4u, listed.size());
    EXPECT_TRUE(contains(listed, L".."));
    EXPECT_FALSE(contains(listed, L"."));
    EXPECT_FALSE(contains(listed, L".dll"));
    lnk->config.HideItemDotDot = 1;
    relist(lnk.get(), dir.path());
    EXPECT_EQ(3u, lnk->list.entry_count);
    EXPECT_FALSE(contains(names(lnk->list), L".."));
}

TEST(FolderListing, EmptyAndMissingFolders)
{
    temp_dir dir;
    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());
    EXPECT_EQ(0u, ext->list.entry_count);

    // A shortcut's empty target lists only its "..".
    object_ptr lnk = listing_object(1);
    relist(lnk.get(), dir.path());
    ASSERT_EQ(1u, lnk->list.entry_count);
    EXPECT_STREQ(L"..", list_name(&lnk->list, 0));
    expect_well_formed(lnk->list);

    relist(ext.get(), dir / L"no such folder");
    EXPECT_EQ(0u, ext->list.entry_count);
}

TEST(FolderListing, LimitAddsDotEntry)
{
    temp_dir dir;
    fill_folder(dir, 150);
    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());
    ASSERT_EQ(102u, ext->list.entry_count);  // 101 names, then "."
    std::vector<std::wstring> listed = names(ext->list);
    EXPECT_EQ(L".", listed[101]);
    EXPECT_EQ(QV_NO_ICON, ext->list.entries[101].icon);
    for (int i = 0; i < 101; i++) {
        EXPECT_EQ(0u, listed[i].rfind(L"item", 0)) << listed[i];
        EXPECT_NE(QV_NO_ICON, ext->list.entries[i].icon) << listed[i];
    }
    expect_well_formed(ext->list);

    ext->config.MaxMenuItems = 0;
    relist(ext.get(), dir.path());
    ASSERT_EQ(2u, ext->list.entry_count);
    EXPECT_STREQ(L".", list_name(&ext->list, 1));
    expect_well_formed(ext->list);

    // The limit is compared unsigned: the largest value means no limit.
    ext->config.MaxMenuItems = 0xFFFFFFFF;
    relist(ext.get(), dir.path());
    EXPECT_EQ(150u, ext->list.entry_count);
    EXPECT_FALSE(contains(names(ext->list), L"."));
    expect_well_formed(ext->list);
}

TEST(FolderListing, DriveRootThroughBareDriveName)
{
    object_ptr ext = listing_object();
    relist(ext.get(), L"C:");
    bool windows = false;
    for (const std::wstring &name : names(ext->list))
        windows = windows || _wcsicmp(name.c_str(), L"windows") == 0;
    EXPECT_TRUE(windows);
    expect_well_formed(ext->list);
}

TEST(FolderListing, IconsAreTheShellsOwnIndices)
{
    temp_dir dir;
    ASSERT_TRUE(write_file(dir / L"note.txt"));
    ASSERT_TRUE(make_dir(dir / L"folder"));
    ASSERT_TRUE(write_file(dir / L"run.exe"));
    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());
    ASSERT_EQ(3u, ext->list.entry_count);
    for (UINT64 i = 0; i < ext->list.entry_count; i++) {
        std::wstring path = dir / list_name(&ext->list, i);
        SHFILEINFOW info = {};
        ASSERT_NE(0u, SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
        EXPECT_EQ(info.iIcon, ext->list.entries[i].icon) << list_name(&ext->list, i);
    }
}

// Listing and clearing many times makes no GDI object at all: a listing
// holds icon indices, the pictures are the menus'.
TEST(FolderListing, ListingsHoldNoGdiObject)
{
    temp_dir dir;
    fill_folder(dir, 150);
    object_ptr ext = listing_object();
    relist(ext.get(), dir.path());  // one-time allocations of the shell and GDI
    list_clear(&ext->list);
    long before = live_gdi_objects();
    ASSERT_GE(before, 0) << "GDI objects cannot be counted here";
    for (int round = 0; round < 20; round++) {
        relist(ext.get(), dir.path());
        ASSERT_EQ(101u, list_icon_count(&ext->list)) << "round " << round;
        EXPECT_EQ(before, live_gdi_objects()) << "round " << round;
    }
    list_clear(&ext->list);
    EXPECT_EQ(before, live_gdi_objects());
}

// The sentinel when the empty name cannot be appended.  The pool claims to be
// full at a size whose growth overflows, so every append fails.
TEST(FolderListing, SentinelWithoutRoomForItsName)
{
    const UINT64 full = UINT64_MAX / 2 + 1;
    // A spare record: it becomes the sentinel, one past the pool's last NUL.
    qv_item_list list = {};
    for (const wchar_t *name : {L"one", L"two", L"three"})
        ASSERT_TRUE(list_append_name(&list, name, wcslen(name)));
    ASSERT_EQ(4u, list.entry_capacity);
    UINT64 used = list.pool_used, capacity = list.pool_capacity;
    list.pool_used = list.pool_capacity = full;
    list_finish(&list);
    EXPECT_EQ(3u, list.entry_count);
    EXPECT_EQ(full, list.entries[3].name_offset);
    EXPECT_EQ(QV_NO_ICON, list.entries[3].icon);
    EXPECT_STREQ(L"three", list_name(&list, 2));
    list.pool_used = used;
    list.pool_capacity = capacity;
    list_clear(&list);

    // Every record taken: the last entry is dropped, and its record becomes
    // the sentinel of an empty name.
    for (const wchar_t *name : {L"one", L"two", L"three", L"four"})
        ASSERT_TRUE(list_append_name(&list, name, wcslen(name)));
    ASSERT_EQ(list.entry_capacity, list.entry_count);
    list.entries[3].icon = 5;
    capacity = list.pool_capacity;
    list.pool_used = list.pool_capacity = full;
    list_finish(&list);
    list.pool_capacity = capacity;
    EXPECT_EQ(3u, list.entry_count);
    EXPECT_EQ(QV_NO_ICON, list.entries[3].icon);
    EXPECT_STREQ(L"three", list_name(&list, 2));
    EXPECT_EQ(0, list.pool[list.entries[3].name_offset]);
    expect_well_formed(list);
    list_clear(&list);

    // Nothing listed and no record at all: the count stays at zero.
    list.pool_used = list.pool_capacity = full;
    list_finish(&list);
    EXPECT_EQ(0u, list.entry_count);
    list.pool_used = list.pool_capacity = 0;
    list_clear(&list);
}

// Offline files and cloud placeholders are fetched when they are opened,
// even for an icon or a listing: they get the icon of their type, a shortcut
// among them is not read, and such a folder is not enumerated.  Wine cannot
// give a file these attributes, so the decisions are checked here with the
// attributes as their input.
TEST(FolderListing, CloudAndOfflineItemsAreNeverOpened)
{
    for (DWORD plain : {0x20u, 0x80u, 0x10u, 0x21u, 0x400u, 0x800u})
        EXPECT_TRUE(item_may_be_opened(plain)) << std::hex << plain;
    for (DWORD cloud : {0x1000u, 0x40000u, 0x400000u, 0x401020u, 0x40010u, 0x400010u})
        EXPECT_FALSE(item_may_be_opened(cloud)) << std::hex << cloud;

    // A folder its parent's listing marks so is never read: "." alone.
    temp_dir dir;
    fill_folder(dir, 3);
    qv_config settings = default_settings();
    qv_listing_rules rules = listing_rules(&settings, 0);
    for (DWORD attributes : {FILE_ATTRIBUTE_DIRECTORY | QV_ATTRIBUTE_RECALL_ON_OPEN,
                             FILE_ATTRIBUTE_DIRECTORY | QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS,
                             FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_OFFLINE}) {
        qv_item_list list = {};
        EXPECT_EQ(qv_listing_listed, list_in_time(dir.path().c_str(), attributes, &rules, deadline_after(0), &list));
        EXPECT_EQ(std::vector<std::wstring>{L"."}, names(list)) << std::hex << attributes;
        list_clear(&list);
    }
    qv_item_list list = {};
    EXPECT_EQ(qv_listing_listed,
              list_in_time(dir.path().c_str(), FILE_ATTRIBUTE_DIRECTORY, &rules, deadline_after(0), &list));
    EXPECT_EQ(3u, list.entry_count) << "listed when the attributes allow it";
    list_clear(&list);

    // A shortcut's target is looked at through its folder's listing, which
    // would show it in the cloud, without opening it.
    ASSERT_TRUE(make_shortcut(dir / L"to-file.lnk", dir / L"item0.txt"));
    WCHAR target[MAX_PATH];
    DWORD attributes = 0;
    ASSERT_TRUE(shortcut_target_attributes((dir / L"to-file.lnk").c_str(), target, &attributes));
    EXPECT_EQ(0, _wcsicmp((dir / L"item0.txt").c_str(), target));
    EXPECT_FALSE(attributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(shortcut_target_attributes((dir / L"item0.txt").c_str(), target, &attributes)) << "no shortcut";
}

// Listings kept for the next right-click: handed out as copies while the
// folder is unchanged, never once it changed, within four folders, with every
// icon and no GDI object, and gone after their time.
TEST(FolderListing, KeptListings)
{
    temp_dir dir;
    fill_folder(dir, 3);
    ASSERT_TRUE(write_file(dir / L"run.exe"));
    long gdi_before = live_gdi_objects();
    qv_config settings = default_settings();
    qv_listing_rules rules = listing_rules(&settings, 0);
    qv_folder_stamp written = {{1, 2}, {{5, 0}}, 7}, rewritten = {{1, 3}, {{5, 0}}, 7}, moved = {{1, 2}, {{6, 0}}, 7},
                    swapped = {{1, 2}, {{5, 0}}, 8};
    auto listed = [&]() {
        qv_item_list list = {};
        list_folder(&list, dir.path().c_str(), &rules, NULL);
        return list;
    };
    const std::wstring folder = dir.path();

    qv_item_list original = listed();
    std::vector<std::wstring> expected = names(original);
    UINT64 icons = list_icon_count(&original);
    ASSERT_GT(icons, 0u);
    kept_listing_store(folder.c_str(), &rules, &written, &original);
    EXPECT_EQ(0u, original.entry_count) << "taken over";

    for (int round = 0; round < 2; round++) {
        qv_item_list copy = {};
        ASSERT_TRUE(kept_listing_copy(folder.c_str(), &rules, &written, &copy));
        EXPECT_EQ(expected, names(copy));
        EXPECT_EQ(icons, list_icon_count(&copy)) << "every icon, whoever lists it next";
        expect_well_formed(copy);
        list_clear(&copy);
    }
    qv_listing_rules other = rules;
    other.max_names = 2;
    qv_item_list none = {};
    EXPECT_FALSE(kept_listing_copy(folder.c_str(), &other, &written, &none)) << "listed by other rules";
    EXPECT_FALSE(kept_listing_copy(L"C:\\elsewhere", &rules, &written, &none));
    EXPECT_FALSE(kept_listing_copy(folder.c_str(), &rules, &rewritten, &none)) << "the folder changed";
    EXPECT_FALSE(kept_listing_copy(folder.c_str(), &rules, &written, &none)) << "a stale listing is dropped";
    qv_item_list again = listed();
    kept_listing_store(folder.c_str(), &rules, &written, &again);
    EXPECT_FALSE(kept_listing_copy(folder.c_str(), &rules, &moved, &none)) << "renamed away and back";
    again = listed();
    kept_listing_store(folder.c_str(), &rules, &written, &again);
    EXPECT_FALSE(kept_listing_copy(folder.c_str(), &rules, &swapped, &none)) << "another stick, same times";

    // Four folders at most: the oldest goes first.
    for (int i = 0; i < QV_KEPT_LISTINGS + 1; i++) {
        qv_item_list list = listed();
        std::wstring name = folder + std::to_wstring(i);
        kept_listing_store(name.c_str(), &rules, &written, &list);
        Sleep(20);
    }
    EXPECT_FALSE(kept_listing_copy((folder + L"0").c_str(), &rules, &written, &none));
    for (int i = 1; i < QV_KEPT_LISTINGS + 1; i++) {
        EXPECT_TRUE(kept_listing_copy((folder + std::to_wstring(i)).c_str(), &rules, &written, &none)) << i;
        list_clear(&none);
    }
    EXPECT_EQ(gdi_before, live_gdi_objects()) << "kept listings hold no GDI object";

    // Their time is up.
    DWORD kept_ms = g_kept_listing_ms;
    g_kept_listing_ms = 0;
    kept_listings_expire();
    g_kept_listing_ms = kept_ms;
    EXPECT_FALSE(kept_listing_copy((folder + L"1").c_str(), &rules, &written, &none));
    kept_listings_drop_all();
    EXPECT_EQ(gdi_before, live_gdi_objects());
}
