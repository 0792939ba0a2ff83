// Storage of the folder listing: growth, records, sentinel, clearing.
#include <gtest/gtest.h>
#include <stdint.h>
#include "common/qv_item_list.h"

TEST(ItemList, GrowthRule)
{
    // Minimum of 4, then the larger of the need and twice the capacity.
    EXPECT_EQ(4u, list_grown_capacity(0, 0, 1, 2));
    EXPECT_EQ(11u, list_grown_capacity(0, 0, 11, 2));
    EXPECT_EQ(8192u, list_grown_capacity(4096, 4096, 3, 2));
    EXPECT_EQ(8192u, list_grown_capacity(4090, 4096, 9, 2));
    EXPECT_EQ(10000u, list_grown_capacity(4096, 4096, 5904, 2));
    // Enough room already: unchanged.
    EXPECT_EQ(4096u, list_grown_capacity(4093, 4096, 3, 2));
    // Overflow of the count or of the byte size fails.
    EXPECT_EQ(0u, list_grown_capacity(UINT64_MAX - 1, UINT64_MAX - 1, 2, 1));
    EXPECT_EQ(0u, list_grown_capacity(0, 0, UINT64_MAX / 2, 16));
    EXPECT_EQ(0u, list_grown_capacity(UINT64_MAX / 2 + 1, UINT64_MAX / 2 + 1, 1, 1));
}

TEST(ItemList, AppendNamesAndSentinel)
{
    qv_item_list list = {};
    ASSERT_TRUE(list_append_name(&list, L"a", 1));
    EXPECT_EQ(4u, list.pool_capacity);
    EXPECT_EQ(4u, list.entry_capacity);

    qv_item_list other = {};
    ASSERT_TRUE(list_append_name(&other, L"0123456789", 10));
    EXPECT_EQ(11u, other.pool_capacity);
    list_clear(&other);

    ASSERT_TRUE(list_append_name(&list, L"Docs", 4));
    ASSERT_TRUE(list_append_ansi(&list, "."));
    ASSERT_TRUE(list_append_ansi(&list, ""));
    list.entry_count--;  // the last record becomes the sentinel
    EXPECT_EQ(3u, list.entry_count);
    EXPECT_STREQ(L"a", list_name(&list, 0));
    EXPECT_STREQ(L"Docs", list_name(&list, 1));
    EXPECT_STREQ(L".", list_name(&list, 2));
    // Each name ends just before the next record's offset, the last one at the sentinel's.
    for (UINT64 i = 0; i < list.entry_count; i++) {
        UINT64 end = list.entries[i + 1].name_offset - 1;
        EXPECT_EQ(0, list.pool[end]);
        EXPECT_EQ(wcslen(list_name(&list, i)), end - list.entries[i].name_offset);
    }
    EXPECT_EQ(list.pool_used - 1, list.entries[3].name_offset);
    EXPECT_EQ(QV_NO_ICON, list.entries[3].icon);
    list.entry_count++;
    list_clear(&list);
}

TEST(ItemList, EmptyAnsiNameIsOneNul)
{
    qv_item_list list = {};
    ASSERT_TRUE(list_append_ansi(&list, ""));
    EXPECT_EQ(1u, list.pool_used);
    EXPECT_EQ(1u, list.entry_count);
    EXPECT_EQ(0, list.pool[0]);
    list_clear(&list);
}

TEST(ItemList, ReserveAndClear)
{
    qv_item_list list = {};
    list_clear(&list);  // empty: nothing to delete or free
    EXPECT_EQ(nullptr, list.pool);

    list_reserve(&list, 4096, 128);
    EXPECT_EQ(4096u, list.pool_capacity);
    EXPECT_EQ(128u, list.entry_capacity);
    EXPECT_EQ(0u, list.pool_used);

    // A copy keeps names, icons and attributes; the clear frees everything.
    ASSERT_TRUE(list_append_name(&list, L"x", 1));
    list.entries[0].icon = 7;
    list.entries[0].attributes = FILE_ATTRIBUTE_DIRECTORY;
    qv_item_list copy = {};
    ASSERT_EQ(1u, list_copy_entries(&copy, &list, NULL, 5, 5));
    EXPECT_STREQ(L"x", list_name(&copy, 0));
    EXPECT_EQ(7, copy.entries[0].icon);
    EXPECT_EQ((DWORD)FILE_ATTRIBUTE_DIRECTORY, copy.entries[0].attributes);
    EXPECT_EQ(1u, list_icon_count(&copy));
    list_clear(&copy);
    list_clear(&list);
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(0u, list.entry_count);
    EXPECT_EQ(0u, list.pool_capacity);
}

TEST(ItemList, FailedGrowthLeavesListIntact)
{
    qv_item_list list = {};
    ASSERT_TRUE(list_append_name(&list, L"keep", 4));
    WCHAR *pool = list.pool;
    qv_entry *entries = list.entries;
    UINT64 used = list.pool_used, capacity = list.pool_capacity;

    // A name whose length would overflow the 64-bit size.
    EXPECT_FALSE(list_append_name(&list, L"", UINT64_MAX - 2));
    EXPECT_FALSE(list_append_name(&list, L"", UINT64_MAX));
    EXPECT_EQ(pool, list.pool);
    EXPECT_EQ(entries, list.entries);
    EXPECT_EQ(used, list.pool_used);
    EXPECT_EQ(capacity, list.pool_capacity);
    EXPECT_EQ(1u, list.entry_count);

    // A record array that claims to be full to the limit cannot grow either,
    // and the pool it did grow keeps its content.
    UINT64 real_count = list.entry_count, real_capacity = list.entry_capacity;
    list.entry_count = list.entry_capacity = UINT64_MAX / 2 + 1;
    EXPECT_FALSE(list_append_name(&list, L"more", 4));
    list.entry_count = real_count;
    list.entry_capacity = real_capacity;
    EXPECT_EQ(used, list.pool_used);
    EXPECT_STREQ(L"keep", list_name(&list, 0));
    list_clear(&list);
}
