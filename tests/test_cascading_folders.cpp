// Sub-folders as submenus (CascadeFolders 1): a real popup, opened and
// walked with real mouse input down two levels of a folder tree, each
// submenu listed only when it opens; what the chosen entry launches; the
// identifier pool; menus nested, shown twice or invoked from another thread;
// the bound on submenus; and nothing left behind after many cascaded
// right-clicks.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "gdi_objects.h"
#include "launch_recorder.h"
#include "menu_walk.h"
#include "menu/thread_menus.h"
#include "popup.h"
#include "test_support.h"

namespace {

const UINT first_cmd = 100;

int position_of(HMENU menu, const std::wstring &text)
{
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        if (item_text(menu, i) == text)
            return i;
    }
    return -1;
}

// root\Tools\Deep\target.txt, root\Tools\Deep\other.txt, root\Tools\tool.txt,
// root\top.txt: a file three folders down.
class cascading_folders : public testing::Test {
protected:
    void SetUp() override
    {
        make_dir(root / L"Tools");
        make_dir(root / L"Tools\\Deep");
        write_file(root / L"Tools\\Deep\\target.txt");
        write_file(root / L"Tools\\Deep\\other.txt");
        write_file(root / L"Tools\\tool.txt");
        write_file(root / L"top.txt");
        owner = popup_owner();
    }
    void TearDown() override
    {
        if (ext)
            ext->Release();
        DestroyWindow(owner);
    }
    // A new object for root with CascadeFolders as given, and its menu
    // reserved within [first_cmd, last).
    UINT reserve(DWORD cascade, UINT last = 0x7FFF)
    {
        if (ext)
            ext->Release();
        ext = listed_object_for(root.path(), 0);
        ext->config.CascadeFolders = cascade;
        menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"Open");
        return HRESULT_CODE(ext->QueryContextMenu(menu, 0, first_cmd, last, CMF_NORMAL));
    }
    HRESULT invoke(UINT id)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.hwnd = owner;
        info.lpVerb = MAKEINTRESOURCEA(id - first_cmd);
        return ext->InvokeCommand(&info);
    }
    // Opens the menu, walks down through the items named by `path` with real
    // mouse input, then presses `down` and releases `up` on the last one.
    UINT walk(const std::vector<std::wstring> &path, DWORD down, DWORD up)
    {
        walking.path = path;
        walking.down = down;
        walking.up = up;
        return walk_menu(owner, menu, &walking);
    }
    menu_walk walking;
    // InvokeCommand(chosen_id) on another thread.
    UINT chosen_id = 0;
    static DWORD WINAPI invoke_chosen(void *self)
    {
        cascading_folders *test = (cascading_folders *)self;
        return (DWORD)test->invoke(test->chosen_id);
    }
    temp_dir root{L"qv-cascade"};
    HWND owner = NULL;
    HMENU menu = NULL;
    qv_shellex *ext = NULL;
    std::vector<HMENU> &opened = walking.opened;
    launch_recorder recorder;
};

TEST_F(cascading_folders, AFileThreeFoldersDownIsOneGestureAway)
{
    ASSERT_EQ(2u + 10u + 4000u, reserve(1)) << "two entries, ten spare, the pool";
    // Left button: the default action on the exact path, run in its folder.
    UINT chosen = walk({L"Tools", L"Deep", L"target.txt"}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_EQ(2u, opened.size());
    EXPECT_EQ(L".", item_text(opened[0], 0)) << "a submenu begins with its folder's \".\"";
    EXPECT_TRUE(GetMenuState(opened[0], 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(L"Deep", item_text(opened[0], position_of(opened[0], L"Deep")));
    ASSERT_NE(0u, chosen);
    EXPECT_EQ(S_OK, invoke(chosen));
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(root / L"Tools\\Deep\\target.txt", recorder.launches[0].file);
    EXPECT_EQ(root / L"Tools\\Deep", recorder.launches[0].directory);
    EXPECT_FALSE(recorder.launches[0].has_verb);
    DestroyMenu(menu);

    // Right button: the edit verb, at any depth.
    reserve(1);
    chosen = walk({L"Tools", L"Deep", L"other.txt"}, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    ASSERT_NE(0u, chosen);
    EXPECT_EQ(S_OK, invoke(chosen));
    ASSERT_EQ(2u, recorder.launches.size());
    EXPECT_EQ(root / L"Tools\\Deep\\other.txt", recorder.launches[1].file);
    EXPECT_EQ(L"edit", recorder.launches[1].verb);
    DestroyMenu(menu);

    // A submenu's "." opens its own folder, in the folder above.
    reserve(1);
    chosen = walk({L"Tools", L"Deep", L"."}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_NE(0u, chosen);
    EXPECT_EQ(S_OK, invoke(chosen));
    ASSERT_EQ(3u, recorder.launches.size());
    EXPECT_EQ(root / L"Tools\\Deep", recorder.launches[2].file);
    EXPECT_EQ(root / L"Tools", recorder.launches[2].directory);
    DestroyMenu(menu);
}

TEST_F(cascading_folders, SpentPoolShowsDotAloneAndTheSettingOffGivesTodaysMenu)
{
    // The shell gives no identifier beyond the entries and the spare ten.
    ASSERT_EQ(12u, reserve(1, first_cmd + 12));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    HMENU tools = GetSubMenu(menu, position_of(menu, L"Tools"));
    ASSERT_NE(nullptr, tools);
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)tools, 0);
    ASSERT_EQ(1, GetMenuItemCount(tools));
    EXPECT_EQ(L".", item_text(tools, 0));
    DestroyMenu(menu);

    ASSERT_EQ(12u, reserve(0));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    int position = position_of(menu, L"Tools");
    ASSERT_GE(position, 0);
    EXPECT_EQ(nullptr, GetSubMenu(menu, position)) << "a sub-folder is an entry that opens it";
    EXPECT_EQ(first_cmd + (UINT)position - 1, GetMenuItemID(menu, position));
    DestroyMenu(menu);
}

TEST_F(cascading_folders, ManyCascadedRightClicksLeaveNothingBehind)
{
    auto cycle = [&]() {
        reserve(1);
        SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
        HMENU tools = GetSubMenu(menu, position_of(menu, L"Tools"));
        SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)tools, 0);
        HMENU deep = GetSubMenu(tools, position_of(tools, L"Deep"));
        SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)deep, 0);
        EXPECT_EQ(4, GetMenuItemCount(deep)) << "\".\", a separator, two files";
        SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
        DestroyMenu(menu);
        ext->Release();
        ext = NULL;
    };
    cycle();
    long gdi = live_gdi_objects();
    long user = live_user_objects();
    SIZE_T heap = heap_bytes_in_use();
    for (int i = 0; i < 100; i++)
        cycle();
    EXPECT_EQ(gdi, live_gdi_objects()) << "every submenu's pictures go with the object";
    EXPECT_EQ(user, live_user_objects());
    // Three listings and two submenu records a cycle, a few KB: a leak of
    // any would show as hundreds of KB.
    EXPECT_LT(heap_bytes_in_use(), heap + 64 * 1024);
    EXPECT_EQ(0, menu_hook_count()) << "and the menu session with it";
}

// Another object reserves a menu on the same thread while a submenu of ours
// is open (a shell menu nested inside "| NORMAL |", say): ours stays whole,
// and its entry, chosen then, launches from another thread too.
TEST_F(cascading_folders, NestedReservationAndAnInvokeFromAnotherThread)
{
    reserve(1);
    qv_shellex *other = listed_object_for(root / L"Tools", 0);
    other->config.CascadeFolders = 1;
    HMENU nested = CreatePopupMenu();
    bool pictures_intact = false;
    walking.before_choice = [&]() {
        ASSERT_LT(10, HRESULT_CODE(other->QueryContextMenu(nested, 0, 0x5000, 0x7FFF, CMF_NORMAL)));
        SendMessageW(owner, WM_INITMENU, (WPARAM)nested, 0);
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP;
        BITMAP bitmap;
        HMENU deep = walking.opened.back();
        pictures_intact = GetMenuItemInfoW(deep, position_of(deep, L"target.txt"), TRUE, &info) &&
                          GetObjectW(info.hbmpItem, sizeof(bitmap), &bitmap) != 0;
    };
    UINT chosen = walk({L"Tools", L"Deep", L"target.txt"}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(pictures_intact);
    EXPECT_LT(2, GetMenuItemCount(nested)) << "the nested menu is filled from its own object";
    ASSERT_NE(0u, chosen);
    chosen_id = chosen;
    HANDLE thread = CreateThread(NULL, 0, invoke_chosen, this, 0, NULL);
    WaitForSingleObject(thread, INFINITE);
    DWORD result = 1;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    EXPECT_EQ((DWORD)S_OK, result);
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(root / L"Tools\\Deep\\target.txt", recorder.launches[0].file);
    other->Release();
    EXPECT_EQ(2, menu_hook_count()) << "the first object's menu keeps its hooks";
    DestroyMenu(nested);
    DestroyMenu(menu);
}

// A host that shows the same menu again: submenus not opened the first time
// fill the second time.
TEST_F(cascading_folders, AMenuShownTwiceFillsItsSubmenus)
{
    reserve(1);
    UINT chosen = walk({L"Tools", L"tool.txt"}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_NE(0u, chosen);
    chosen = walk({L"Tools", L"Deep", L"other.txt"}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_NE(0u, chosen);
    EXPECT_EQ(S_OK, invoke(chosen));
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(root / L"Tools\\Deep\\other.txt", recorder.launches[0].file);
    DestroyMenu(menu);
}

// Each submenu is a USER object: one right-click on a folder of 1,500
// sub-folders makes at most 1,000 of them; the others are entries that open
// their folder.
TEST_F(cascading_folders, AThousandSubmenusAtMost)
{
    temp_dir many{L"qv-many"};
    for (int i = 0; i < 1500; i++)
        ASSERT_TRUE(make_dir(many / (L"d" + std::to_wstring(10000 + i))));
    ext = listed_object_for(many.path(), 0);
    ext->config.CascadeFolders = 1;
    ext->config.MaxMenuItems = 2000;
    menu = CreatePopupMenu();
    long user = live_user_objects();
    ASSERT_LT(1500, HRESULT_CODE(ext->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    int submenus = 0, plain = -1;
    for (int i = 1; i < GetMenuItemCount(menu); i++) {  // after "| NORMAL |"
        if (GetSubMenu(menu, i))
            submenus++;
        else if (plain < 0 && item_text(menu, i)[0] == L'd')
            plain = i;
    }
    EXPECT_EQ(1000, submenus);
    if (user >= 0) {
        EXPECT_LE(live_user_objects() - user, 1000 + 10);
    }
    ASSERT_GT(plain, 0);
    EXPECT_EQ(S_OK, invoke(GetMenuItemID(menu, plain)));
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(many / item_text(menu, plain), recorder.launches[0].file);
    DestroyMenu(menu);
}

// Submenus opened one after another need more identifiers than the pool
// holds: each is still listed in full, and the last one's entry launches.
TEST_F(cascading_folders, BrowsingNeverRunsOutOfIdentifiers)
{
    const int folders = 46, files = 90;  // 4,140 entries for a pool of 4,000
    temp_dir tree{L"qv-browse"};
    for (int i = 0; i < folders; i++) {
        std::wstring sub = tree / (L"s" + std::to_wstring(100 + i));
        ASSERT_TRUE(make_dir(sub));
        for (int j = 0; j < files; j++)
            ASSERT_TRUE(write_file(sub + L"\\f" + std::to_wstring(100 + j) + L".txt"));
    }
    ext = listed_object_for(tree.path(), 0);
    ext->config.CascadeFolders = 1;
    menu = CreatePopupMenu();
    ASSERT_EQ((UINT)folders + 10 + 4000, HRESULT_CODE(ext->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    HMENU first = GetSubMenu(menu, position_of(menu, L"s100"));
    for (int i = 0; i < folders - 1; i++) {
        HMENU sub = GetSubMenu(menu, position_of(menu, L"s" + std::to_wstring(100 + i)));
        SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
        EXPECT_EQ(2 + files, GetMenuItemCount(sub)) << i;
        SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)sub, 0);
    }
    std::wstring last = L"s" + std::to_wstring(100 + folders - 1);
    UINT chosen = walk({last, L"f189.txt"}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    ASSERT_NE(0u, chosen);
    EXPECT_EQ(S_OK, invoke(chosen));
    ASSERT_EQ(1u, recorder.launches.size());
    EXPECT_EQ(tree / (last + L"\\f189.txt"), recorder.launches[0].file);
    // The first submenu gave its identifiers away: reopened, it is listed again.
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)first, 0);
    EXPECT_EQ(2 + files, GetMenuItemCount(first));
    DestroyMenu(menu);
}

}  // namespace
