// A sub-folder's submenu on the slow drive (slowfs, mounted by
// with-slow-drive.sh): when nothing of it is found in time it shows "."
// alone, and it is listed in full when it opens again after its listing
// finished in the background.
#include <gtest/gtest.h>
#include "extension/qv_shellex.h"
#include "popup.h"
#include "slow_drive.h"
#include "test_support.h"

TEST(slow_submenus, NothingFoundInTimeShowsDotAloneThenTheWholeFolder)
{
    slow_drive drive;
    ASSERT_TRUE(drive.available()) << testing::PrintToString(drive.why_not());
    ASSERT_TRUE(make_dir(drive.backing_path(L"cascade")));
    ASSERT_TRUE(make_dir(drive.backing_path(L"cascade\\Sub")));
    const int files = 100;
    for (int i = 0; i < files; i++)
        ASSERT_TRUE(write_file(drive.backing_path(L"cascade\\Sub\\f" + std::to_wstring(100 + i) + L".txt")));
    qv_shellex *ext = listed_object_for(drive.path(L"cascade"));
    ext->config.CascadeFolders = 1;
    ext->config.ListingTimeLimit = 300;
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    HMENU menu = CreatePopupMenu();
    ASSERT_LT(10, HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    HMENU sub = GetSubMenu(menu, 1);
    ASSERT_EQ(L"Sub", item_text(menu, 1));
    ASSERT_NE(nullptr, sub);

    // The folder answers, but its entries come too slowly for the limit.
    ASSERT_TRUE(drive.set_delay(10));
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    ASSERT_EQ(1, GetMenuItemCount(sub)) << "\".\" alone, no separator, no second \".\"";
    EXPECT_EQ(L".", item_text(sub, 0));
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)sub, 0);

    ASSERT_TRUE(drive.set_delay(0));
    ASSERT_TRUE(listing_workers_end());
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    ASSERT_EQ(2 + files, GetMenuItemCount(sub)) << "\".\", a separator and every file";
    EXPECT_EQ(L"f100.txt", item_text(sub, 2));
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    DestroyWindow(owner);
    ext->Release();
}
