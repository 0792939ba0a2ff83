// Sub-folders as submenus (CascadeFolders 1): a real popup, opened and
// walked with real mouse input down two levels of a folder tree, each
// submenu listed only when it opens; what the chosen entry launches; the
// identifier pool; and nothing left behind after many cascaded right-clicks.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "gdi_objects.h"
#include "launch_recorder.h"
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
    // Opens the menu, and with real mouse input walks down through the
    // items named by `path` (each opens a submenu under the pointer), then
    // presses `down` and releases `up` on the last one.  Returns what the
    // popup returned.  Each step runs from a timer, so that the menu's own
    // loop sees the pointer between the steps.
    UINT walk(const std::vector<std::wstring> &path, DWORD down, DWORD up)
    {
        walking = {path, down, up, menu, 0, {}, -1};
        return show_popup(owner, menu, 300, [this]() {
            SetTimer(owner, 0x5200, 10, step);
            return true;
        });
    }
    static void CALLBACK step(HWND window, UINT, UINT_PTR timer, DWORD)
    {
        KillTimer(window, timer);
        walk_state &w = walking;
        if (w.next > 0) {
            // The item passed over last must have opened its submenu.
            HMENU submenu = GetSubMenu(w.level, w.position);
            if (!submenu) {
                EndMenu();
                return;
            }
            w.opened.push_back(submenu);
            w.level = submenu;
        }
        w.position = -1;
        for (int i = 0; i < GetMenuItemCount(w.level); i++) {
            if (item_text(w.level, i) == w.path[w.next])
                w.position = i;
        }
        // A submenu's own window is found from the menu alone.
        HWND menu_window = w.opened.empty() ? window : NULL;
        POINT aim = w.position < 0 ? POINT{-1, -1} : menu_item_point(menu_window, w.level, w.position);
        if (aim.y < 0) {
            EndMenu();
            return;
        }
        bool last = ++w.next == w.path.size();
        mouse_at(aim, last ? w.down : 0, last ? w.up : 0);
        if (!last)
            SetTimer(window, 0x5200, 700, step);
    }
    struct walk_state {
        std::vector<std::wstring> path;
        DWORD down, up;
        HMENU level;
        size_t next;
        std::vector<HMENU> opened;
        int position;
    };
    static walk_state walking;
    temp_dir root{L"qv-cascade"};
    HWND owner = NULL;
    HMENU menu = NULL;
    qv_shellex *ext = NULL;
    std::vector<HMENU> &opened = walking.opened;
    launch_recorder recorder;
};

cascading_folders::walk_state cascading_folders::walking;

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

}  // namespace
