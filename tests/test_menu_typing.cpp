// Choosing by typing: keys typed into the real popup, whose owner window
// passes its menu messages to IContextMenu3 as Explorer's does, choose the
// only entry that starts with them, in the menu and in a sub-folder's
// submenu; and the answers to WM_MENUCHAR where several entries, or none,
// start with them.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "extension/qv_shellex.h"
#include "launch_recorder.h"
#include "popup.h"
#include "test_support.h"

namespace {

const UINT first_cmd = 100;
const UINT_PTR type_timer = 0x5300;
const std::wstring journal = L"\x0416\x0443\x0440\x043d\x0430\x043b.txt";

// Characters typed as a keyboard types them (a WM_CHAR each, whatever the
// layout), one group per timer tick so that a submenu can open in between.
std::vector<std::wstring> g_groups;

void CALLBACK type_next(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    std::vector<INPUT> keys(2 * g_groups.front().size());
    for (size_t i = 0; i < keys.size(); i++) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wScan = g_groups.front()[i / 2];
        keys[i].ki.dwFlags = KEYEVENTF_UNICODE | (i % 2 ? KEYEVENTF_KEYUP : 0);
    }
    SendInput((UINT)keys.size(), keys.data(), sizeof(INPUT));
    g_groups.erase(g_groups.begin());
    if (!g_groups.empty())
        SetTimer(window, type_timer, 700, type_next);
}

// Sorted folders first: Sub, then alpha.txt, beta.txt, bravo.txt, R&B.txt,
// R&D.txt, report.txt, Журнал.txt.
class menu_typing : public testing::Test {
protected:
    void SetUp() override
    {
        make_dir(root / L"Sub");
        write_file(root / L"Sub\\tool.txt");
        for (std::wstring name : {L"alpha.txt", L"beta.txt", L"bravo.txt", L"R&B.txt", L"R&D.txt", L"report.txt"})
            write_file(root / name);
        write_file(root / journal);
        ext = listed_object_for(root.path(), 0);
        ext->config.CascadeFolders = 1;
        ext->config.SortEntries = 1;
        ASSERT_EQ(S_OK, ext->QueryInterface(IID_IContextMenu3, (void **)&handler));
        owner = popup_owner(handler);
        AppendMenuW(menu, MF_STRING, 1, L"&Open");
        ASSERT_LT(10, HRESULT_CODE(handler->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL)));
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        DestroyMenu(menu);
        if (handler)
            handler->Release();
        ext->Release();
    }
    // HandleMenuMsg2's answer to `ch` typed in `in`: "select NAME",
    // "execute NAME" or "ignore", as the menu shows NAME.
    std::wstring type(wchar_t ch, HMENU in)
    {
        LRESULT result = -1;
        EXPECT_EQ(S_OK, handler->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(ch, MF_POPUP), (LPARAM)in, &result));
        if (HIWORD(result) != MNC_EXECUTE && HIWORD(result) != MNC_SELECT)
            return HIWORD(result) == MNC_IGNORE ? L"ignore" : L"?";
        return (HIWORD(result) == MNC_EXECUTE ? L"execute " : L"select ") + item_text(in, LOWORD(result));
    }
    temp_dir root{L"qv-typing"};
    qv_shellex *ext = NULL;
    IContextMenu3 *handler = NULL;
    HWND owner = NULL;
    HMENU menu = CreatePopupMenu();
    launch_recorder recorder;
};

TEST_F(menu_typing, TypingChoosesTheOnlyMatchInTheMenuAndItsSubmenus)
{
    struct {
        std::vector<std::wstring> groups;
        std::wstring launched;
    } cases[] = {
        {{L"\x0436"}, journal},            // lower case, in another script
        {{L"a"}, L"alpha.txt"},
        {{L"BR"}, L"bravo.txt"},           // "b" has two matches; "br" one
        {{L"s", L"t"}, L"Sub\\tool.txt"},  // "s" opens Sub's submenu, "t" chooses in it
    };
    for (auto &c : cases) {
        g_groups = c.groups;
        UINT chosen = show_popup(owner, menu, 300, [&]() { return SetTimer(owner, type_timer, 10, type_next) != 0; });
        ASSERT_NE(0u, chosen) << c.launched;
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = MAKEINTRESOURCEA(chosen - first_cmd);
        EXPECT_EQ(S_OK, handler->InvokeCommand(&info));
        ASSERT_FALSE(recorder.launches.empty());
        EXPECT_EQ(root / c.launched, recorder.launches.back().file);
    }
}

// Wine's menus ignore MNC_SELECT (they honour only MNC_EXECUTE and
// MNC_CLOSE), so the selecting cases look at HandleMenuMsg2's answers, and
// the test moves the selection as Windows does on MNC_SELECT.
TEST_F(menu_typing, SeveralMatchesSelectAndCycleNoneIgnoresOthersMenusAreLeftAlone)
{
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    struct {
        wchar_t ch;
        std::wstring answer;
    } steps[] = {
        {L'b', L"select beta.txt"}, {L'B', L"select bravo.txt"}, {L'b', L"select beta.txt"},  // cycles, wraps
        {L'x', L"ignore"},  // "bbbx"
        {L'r', L"select R&&B.txt"}, {L'&', L"select R&&B.txt"}, {L'd', L"execute R&&D.txt"},  // the shown "&"
        {L'|', L"ignore"},  // "| NORMAL |" and the logo are no entries
    };
    for (auto &step : steps) {
        if (step.ch == L'r')
            Sleep(GetDoubleClickTime() + 200);  // starts afresh
        std::wstring got = type(step.ch, menu);
        EXPECT_EQ(step.answer, got) << step.ch;
        for (int i = 0; i < GetMenuItemCount(menu); i++) {
            MENUITEMINFOW state = {};
            state.cbSize = sizeof(state);
            state.fMask = MIIM_STATE;
            state.fState = got == L"select " + item_text(menu, i) ? MFS_HILITE : 0;
            SetMenuItemInfoW(menu, i, TRUE, &state);
        }
    }
    HMENU sub = GetSubMenu(menu, 1);
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    EXPECT_EQ(L"execute tool.txt", type(L't', sub));

    // The shell's menus keep their mnemonics, other messages go to the hooks:
    // no answer, S_FALSE.
    LRESULT result = -1;
    for (HMENU other : {GetSubMenu(menu, 0), (HMENU)NULL}) {
        EXPECT_EQ(S_FALSE, handler->HandleMenuMsg2(WM_MENUCHAR, 'o', (LPARAM)other, &result));
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(S_FALSE, handler->HandleMenuMsg2(WM_INITMENUPOPUP, (WPARAM)sub, 0, &result));
    IContextMenu2 *menu2 = NULL;
    ASSERT_EQ(S_OK, ext->QueryInterface(IID_IContextMenu2, (void **)&menu2));
    EXPECT_EQ((void *)handler, (void *)menu2) << "one context-menu side";
    EXPECT_EQ(S_FALSE, menu2->HandleMenuMsg(WM_MENUCHAR, 'a', (LPARAM)menu)) << "no place for an answer";
    menu2->Release();
}

}  // namespace
