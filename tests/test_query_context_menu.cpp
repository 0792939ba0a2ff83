// Command reservation and the two menu hooks, driven by real messages to a
// real window of the test thread.
#include <gtest/gtest.h>
#include "menu/identifier_block.h"
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "extension/qv_shellex.h"
#include "menu/menu_hooks.h"
#include "menu/menu_population.h"
#include "test_support.h"

namespace {

UINT reserve(qv_shellex *ext, HMENU menu, UINT first, UINT last, UINT flags = CMF_NORMAL)
{
    HRESULT hr = ext->QueryContextMenu(menu, 0, first, last, flags);
    EXPECT_TRUE(SUCCEEDED(hr));
    return HRESULT_CODE(hr);
}

// A folder with seven visible entries.
class reservation : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 7; i++)
            write_file(folder / (L"file" + std::to_wstring(i) + L".txt"));
        window = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 10, 10, HWND_MESSAGE, NULL, NULL, NULL);
        menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"Open");
        AppendMenuW(menu, MF_STRING, 2, L"Properties");
    }
    void TearDown() override
    {
        DestroyMenu(menu);
        DestroyWindow(window);
        thread_menus_drop_thread();
        EXPECT_EQ(0, menu_hook_count());
    }
    std::wstring menu_text(int position)
    {
        wchar_t text[256] = L"";
        GetMenuStringW(menu, position, text, 256, MF_BYPOSITION);
        return text;
    }
    temp_dir folder;
    HWND window = NULL;
    HMENU menu = NULL;
};

TEST_F(reservation, IdentifierArithmetic)
{
    qv_shellex *ext = listed_object_for(folder.path());
    EXPECT_EQ(0u, reserve(ext, menu, 100, 110));
    EXPECT_EQ(0, menu_hook_count());
    EXPECT_EQ(11u, reserve(ext, menu, 100, 111));
    EXPECT_EQ(111u, ext->session.last_cmd);
    EXPECT_EQ(17u, reserve(ext, menu, 100, 0x7FFF));
    EXPECT_EQ(100u, ext->session.first_cmd);
    EXPECT_EQ(117u, ext->session.last_cmd);
    EXPECT_EQ(7u, ext->list.entry_count);
    // Near the top of the range the block must not wrap below idCmdFirst.
    EXPECT_EQ(0u, reserve(ext, menu, 0xFFFFFFFAu, 0xFFFFFFFFu));
    EXPECT_EQ(17u, reserve(ext, menu, 0xFFFFFF00u, 0xFFFFFFFFu));
    EXPECT_EQ(0xFFFFFF11u, ext->session.last_cmd);
    EXPECT_EQ(15u, reserve(ext, menu, 0xFFFFFFF0u, 0xFFFFFFFFu));
    EXPECT_EQ(0xFFFFFFFFu, ext->session.last_cmd);
    ext->Release();
}

TEST_F(reservation, GatesAddNothingAndInstallNoHook)
{
    qv_shellex *ext = listed_object_for(folder.path());
    EXPECT_EQ(0u, reserve(ext, menu, 1, 0x7FFF, CMF_DEFAULTONLY));
    EXPECT_EQ(0u, reserve(ext, menu, 1, 0x7FFF, CMF_VERBSONLY));
    EXPECT_EQ(0, menu_hook_count());

    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = 0x80;
    SetKeyboardState(keys);
    EXPECT_EQ(0u, reserve(ext, menu, 1, 0x7FFF));
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    EXPECT_EQ(0, menu_hook_count());

    ext->config.OnlyAllowedOnDesktop = 1;
    ext->desktop_ok = 0;
    EXPECT_EQ(0u, reserve(ext, menu, 1, 0x7FFF));
    ext->Release();

    // A file, and an empty folder.
    qv_shellex *file = listed_object_for(folder / L"file0.txt");
    EXPECT_EQ(0u, reserve(file, menu, 1, 0x7FFF));
    EXPECT_EQ(0u, file->is_dir);
    file->Release();
    temp_dir empty;
    qv_shellex *none = listed_object_for(empty.path());
    EXPECT_EQ(0u, reserve(none, menu, 1, 0x7FFF));
    EXPECT_EQ(0, menu_hook_count());
    none->Release();
    EXPECT_EQ(2, GetMenuItemCount(menu));
}

TEST_F(reservation, InitMenuFillsOnceAndOnlyTheReservedMenu)
{
    qv_shellex *ext = listed_object_for(folder.path());
    ASSERT_EQ(17u, reserve(ext, menu, 100, 0x7FFF));
    ASSERT_EQ(2, menu_hook_count());
    EXPECT_EQ(2, GetMenuItemCount(menu)) << "nothing changes before WM_INITMENU";

    HMENU other = CreatePopupMenu();
    SendMessageW(window, WM_INITMENU, (WPARAM)other, 0);
    EXPECT_EQ(0, GetMenuItemCount(other));
    EXPECT_EQ(2, GetMenuItemCount(menu));
    DestroyMenu(other);

    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    int filled = GetMenuItemCount(menu);
    EXPECT_EQ(1 + 7 + 1, filled);
    EXPECT_EQ(QV_NORMAL_TEXT, menu_text(0));
    EXPECT_FALSE(ext->session.pending);
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ(filled, GetMenuItemCount(menu));
    ext->Release();
}

TEST_F(reservation, SecondObjectTakesOverTheMenu)
{
    temp_dir small;
    write_file(small / L"only.txt");
    qv_shellex *first = listed_object_for(folder.path());
    qv_shellex *second = listed_object_for(small.path());
    ASSERT_EQ(17u, reserve(first, menu, 100, 0x7FFF));
    ASSERT_EQ(11u, reserve(second, menu, 100, 0x7FFF));
    EXPECT_EQ(2, menu_hook_count());
    // A host that releases the previous menu's object late.
    first->Release();
    EXPECT_EQ(2, menu_hook_count()) << "the older object leaves the newer menu its hooks";
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    EXPECT_EQ(3, GetMenuItemCount(menu));
    EXPECT_EQ(L"only.txt", menu_text(1));
    second->Release();
    EXPECT_EQ(0, menu_hook_count()) << "the owner takes its hooks along";
}

TEST_F(reservation, ReleasedObjectFillsNothing)
{
    qv_shellex *ext = listed_object_for(folder.path());
    ASSERT_EQ(17u, reserve(ext, menu, 100, 0x7FFF));
    ext->Release();
    EXPECT_EQ(0, menu_hook_count());
    // The hooks went with the object; even a hook installed anew finds no menu to fill.
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, menu_ret_hook, NULL, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(2, GetMenuItemCount(menu));
}

TEST_F(reservation, InputHookTracksLastEventUntilTheMenuCloses)
{
    qv_shellex *ext = listed_object_for(folder.path());
    ASSERT_EQ(17u, reserve(ext, menu, 100, 0x7FFF));
    EXPECT_EQ(0u, ext->session.last_input_msg);
    MSG msg;
    PostMessageW(window, WM_RBUTTONUP, 0, 0);
    PeekMessageW(&msg, window, 0, 0, PM_NOREMOVE);  // a peek counts too
    EXPECT_EQ((UINT)WM_RBUTTONUP, ext->session.last_input_msg);
    PeekMessageW(&msg, window, 0, 0, PM_REMOVE);
    PostMessageW(window, WM_MOUSEMOVE, 0, 0);
    PeekMessageW(&msg, window, 0, 0, PM_REMOVE);
    EXPECT_EQ((UINT)WM_RBUTTONUP, ext->session.last_input_msg) << "other messages do not count";
    PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    PeekMessageW(&msg, window, 0, 0, PM_REMOVE);
    EXPECT_EQ((UINT)WM_KEYDOWN, ext->session.last_input_msg);

    // A submenu closing ("| NORMAL |" under the pointer) keeps both hooks.
    HMENU submenu = CreatePopupMenu();
    SendMessageW(window, WM_UNINITMENUPOPUP, (WPARAM)submenu, 0);
    DestroyMenu(submenu);
    EXPECT_EQ(2, menu_hook_count());
    EXPECT_TRUE(ext->session.open);
    PostMessageW(window, WM_LBUTTONUP, 0, 0);
    PeekMessageW(&msg, window, 0, 0, PM_REMOVE);
    EXPECT_EQ((UINT)WM_LBUTTONUP, ext->session.last_input_msg);

    // After the reserved menu closes, later input is no longer seen, and the
    // last one stays for the command that follows.  The hooks stay with the
    // object: a host may show the same menu again.
    SendMessageW(window, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    EXPECT_FALSE(ext->session.open);
    EXPECT_EQ(2, menu_hook_count());
    PostMessageW(window, WM_RBUTTONUP, 0, 0);
    PeekMessageW(&msg, window, 0, 0, PM_REMOVE);
    EXPECT_EQ((UINT)WM_LBUTTONUP, ext->session.last_input_msg);
    ext->Release();
}

// Every item of ours needs an identifier of the block: when the shell gives
// fewer than the folder has entries, the listing stops early with "." and
// the logo and "| NORMAL |" still lie inside the block.
TEST_F(reservation, NoMoreEntriesThanIdentifiers)
{
    for (int i = 7; i < 40; i++)
        write_file(folder / (L"file" + std::to_wstring(i) + L".txt"));
    qv_shellex *ext = listed_object_for(folder.path());
    ASSERT_EQ(20u, reserve(ext, menu, 100, 120));
    ASSERT_EQ(18u, ext->list.entry_count) << "17 names, then \".\"";
    EXPECT_STREQ(L".", list_name(&ext->list, 17));
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    ASSERT_EQ(1 + 18 + 1, GetMenuItemCount(menu));
    for (int position = 0; position < GetMenuItemCount(menu); position++) {
        UINT id = GetMenuItemID(menu, position);
        if (id == (UINT)-1) {  // "| NORMAL |", a submenu
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID;
            GetMenuItemInfoW(menu, position, TRUE, &info);
            id = info.wID;
        }
        EXPECT_GE(id, 100u) << position;
        EXPECT_LT(id, 120u) << position;
    }
    ext->Release();
}

// The count reserved travels in 16 bits: a huge folder with MaxMenuItems
// raised once wrapped it (66,002 entries reserved 474) and took the next
// handler's identifiers.  The listing stops where every entry, the logo and
// "| NORMAL |" still get an identifier, and the block never passes 0xFFFF.
TEST(IdentifierBlock, NeverMoreThanSixteenBitsCanCount)
{
    EXPECT_EQ(0xFFFFu - 2, entries_that_fit(1, 0xFFFFFFFFu));
    EXPECT_EQ(18u, entries_that_fit(100, 120));
    for (UINT64 entries : {(UINT64)66002, entries_that_fit(1, 0xFFFFFFFFu)}) {
        qv_identifier_block block = identifier_block(1, 0xFFFFFFFFu, entries, false);
        EXPECT_EQ(0xFFFFu, block.end - 1) << entries;
        EXPECT_EQ(0xFFFFu, (UINT)HRESULT_CODE(MAKE_HRESULT(SEVERITY_SUCCESS, 0, block.end - 1)));
    }
    qv_identifier_block fitting = identifier_block(1, 0xFFFFFFFFu, entries_that_fit(1, 0xFFFFFFFFu), false);
    EXPECT_LT(1 + entries_that_fit(1, 0xFFFFFFFFu) + 1, (UINT64)fitting.end) << "logo and NORMAL inside";

    // The submenus' pool: after the spare ten, a few thousand, fewer or none
    // when the shell gives fewer.
    qv_identifier_block wide = identifier_block(100, 0x7FFF, 20, true);
    EXPECT_EQ(130u, wide.pool_first);
    EXPECT_EQ(130u + QV_SUBMENU_IDS, wide.end);
    EXPECT_EQ(140u, identifier_block(100, 140, 20, true).end);
    EXPECT_EQ(0u, identifier_block(100, 130, 20, true).pool_first);
    EXPECT_EQ(0u, identifier_block(100, 0x7FFF, 20, false).pool_first);
}

}  // namespace
