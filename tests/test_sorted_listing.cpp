// Listings in Explorer's order (SortEntries): folders first, then names as
// Explorer compares them, cut after the limit with "." for the rest; the
// same whatever order the names come in, and without holding every name.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>
#include <vector>
#include "listing/explorer_order.h"
#include "listing/folder_listing.h"
#include "test_support.h"

namespace {

struct item {
    std::wstring name;
    DWORD attributes;
};

std::vector<std::wstring> names(const qv_item_list &list)
{
    std::vector<std::wstring> result;
    for (UINT64 i = 0; i < list.entry_count; i++)
        result.push_back(list_name(&list, i));
    return result;
}

// What a selection of `limit` must give: all of them sorted, then cut.
std::vector<std::wstring> sorted_and_cut(std::vector<item> items, UINT64 limit)
{
    std::stable_sort(items.begin(), items.end(), [](const item &a, const item &b) {
        return explorer_compare(a.name.c_str(), a.attributes, b.name.c_str(), b.attributes) < 0;
    });
    std::vector<std::wstring> result;
    for (size_t i = 0; i < items.size() && i < limit; i++)
        result.push_back(items[i].name);
    if (items.size() > limit)
        result.push_back(L".");
    return result;
}

// A real folder listed sorted, with every limit that matters: none, one,
// some, exactly all, more than all.
TEST(SortedListing, FolderCutAfterItsFirstNames)
{
    temp_dir folder;
    for (const wchar_t *name : {L"file10.txt", L"Zeta", L"file2.txt", L"zulu.txt", L"apple.txt", L"beta",
                                L"Carrot.txt", L"file1.txt", L"file10", L"skipped.dll"}) {
        ASSERT_TRUE(wcschr(name, L'.') ? write_file(folder / name) : make_dir(folder / name));
    }
    ASSERT_TRUE(write_file(folder / L"hidden.txt"));
    SetFileAttributesW((folder / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    const std::vector<std::wstring> all = {L"beta",      L"file10",    L"Zeta",       L"apple.txt", L"Carrot.txt",
                                           L"file1.txt", L"file2.txt", L"file10.txt", L"zulu.txt"};
    for (UINT64 max_names : {0, 1, 5, 9, 12}) {
        qv_listing_rules rules = {max_names, false, 3, true};
        qv_item_list list = {};
        list_folder(&list, folder.path().c_str(), &rules, NULL);
        std::vector<std::wstring> expected(all.begin(), all.begin() + std::min<size_t>(max_names, all.size()));
        if (max_names < all.size())
            expected.push_back(L".");
        EXPECT_EQ(expected, names(list)) << max_names;
        // The sentinel ends it; the first three have a picture, no later one.
        EXPECT_EQ(L"", std::wstring(list_name(&list, list.entry_count)));
        for (UINT64 i = 0; i < list.entry_count; i++) {
            if (i < 3 && names(list)[i] != L".") {
                EXPECT_GE(list.entries[i].icon, 0) << max_names << " " << i;
            } else {
                EXPECT_EQ(QV_NO_ICON, list.entries[i].icon) << max_names << " " << i;
            }
        }
        list_clear(&list);
    }
    // Names Explorer takes for equal, which only a case-sensitive drive holds.
    EXPECT_LT(explorer_compare(L"ABC", 0, L"abc", 0), 0);
}

// Thousands of names offered ascending, descending and shuffled, against
// every limit around the sizes the selection works in: always the same as
// sorting them all and cutting, and, with a small limit, far fewer names
// held than offered.
TEST(SortedListing, SelectionEqualsAFullSortCut)
{
    std::vector<item> items;
    for (int i = 0; i < 8000; i++) {
        wchar_t name[32];
        bool folder = i % 7 == 0;
        swprintf(name, 32, folder ? L"%ls%d" : L"%ls%d.txt", i % 3 ? L"n" : L"N", i);
        items.push_back({name, folder ? (DWORD)FILE_ATTRIBUTE_DIRECTORY : (DWORD)FILE_ATTRIBUTE_ARCHIVE});
    }
    items.push_back({L"N5.txt", FILE_ATTRIBUTE_ARCHIVE});  // Explorer's equal of "n5.txt"
    std::vector<item> descending = items, shuffled = items;
    std::reverse(descending.begin(), descending.end());
    unsigned seed = 12345;
    for (size_t i = shuffled.size() - 1; i > 0; i--) {
        seed = seed * 1103515245u + 12345u;
        std::swap(shuffled[i], shuffled[(seed >> 8) % (i + 1)]);
    }
    for (UINT64 limit : {1, 7, 300, 4096, 4097, 8000, 8001, 8002, 9000}) {
        std::vector<std::wstring> expected = sorted_and_cut(items, limit);
        for (const std::vector<item> *offered : {&items, &descending, &shuffled}) {
            explorer_selection best(limit);
            for (const item &each : *offered)
                best.offer(each.name.c_str(), each.name.size(), each.attributes);
            qv_item_list list = {};
            best.build(&list, 2);
            EXPECT_EQ(expected, names(list)) << limit;
            if (limit >= 3) {
                EXPECT_GE(list.entries[1].icon, 0) << limit;
                EXPECT_EQ(QV_NO_ICON, list.entries[2].icon) << limit;
            }
            if (limit <= 300) {
                EXPECT_LT(best.held(), offered->size() / 4) << limit;
            }
            list_clear(&list);
        }
    }
}

}  // namespace
