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

int position_of(HMENU menu, const std::wstring &text)
{
    for (int i = 0; i < GetMenuItemCount(menu); i++) {
        if (item_text(menu, i) == text)
            return i;
    }
    return -1;
}

// Characters typed as a keyboard types them (a WM_CHAR each, whatever the
// layout), one group per timer tick so that a submenu can open in between.
std::vector<std::wstring> g_groups;

void CALLBACK type_next(HWND window, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(window, timer);
    std::vector<INPUT> keys;
    for (wchar_t ch : g_groups.front()) {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wScan = ch;
        key.ki.dwFlags = KEYEVENTF_UNICODE;
        keys.push_back(key);
        key.ki.dwFlags |= KEYEVENTF_KEYUP;
        keys.push_back(key);
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
        for (const wchar_t *name : {L"alpha.txt", L"beta.txt", L"bravo.txt", L"R&B.txt", L"R&D.txt", L"report.txt",
                                    L"\x0416\x0443\x0440\x043d\x0430\x043b.txt"})
            write_file(root / name);
        ext = listed_object_for(root.path(), 0);
        ext->config.CascadeFolders = 1;
        ASSERT_EQ(S_OK, ext->QueryInterface(IID_IContextMenu3, (void **)&handler));
        owner = popup_owner(handler);
        menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"&Open");
        ASSERT_LT(10, HRESULT_CODE(handler->QueryContextMenu(menu, 0, first_cmd, 0x7FFF, CMF_NORMAL)));
    }
    void TearDown() override
    {
        DestroyWindow(owner);
        DestroyMenu(menu);
        if (handler)
            handler->Release();
        if (ext)
            ext->Release();
    }
    // HandleMenuMsg2's answer to `ch` typed in `in`, as MNC_ code and item text.
    struct answer {
        HRESULT hr;
        WORD code;
        std::wstring item;
    };
    answer type(wchar_t ch, HMENU in)
    {
        LRESULT result = -1;
        HRESULT hr = handler->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(ch, MF_POPUP), (LPARAM)in, &result);
        std::wstring item = HIWORD(result) == MNC_IGNORE ? L"" : item_text(in, LOWORD(result));
        return {hr, HIWORD(result), item};
    }
    temp_dir root{L"qv-typing"};
    qv_shellex *ext = NULL;
    IContextMenu3 *handler = NULL;
    HWND owner = NULL;
    HMENU menu = NULL;
    launch_recorder recorder;
};

TEST_F(menu_typing, TypingChoosesTheOnlyMatchInTheMenuAndItsSubmenus)
{
    struct {
        std::vector<std::wstring> groups;
        std::wstring launched;
    } cases[] = {
        {{L"\x0436"}, L"\x0416\x0443\x0440\x043d\x0430\x043b.txt"},  // lower case in another script
        {{L"a"}, L"alpha.txt"},
        {{L"BR"}, L"bravo.txt"},  // "b" has two matches; "br" one
        {{L"s", L"t"}, L"Sub\\tool.txt"},  // "s" opens Sub's submenu, "t" chooses in it
    };
    for (auto &c : cases) {
        g_groups = c.groups;
        UINT chosen = show_popup(owner, menu, 300, [&]() {
            SetTimer(owner, type_timer, 10, type_next);
            return true;
        });
        ASSERT_NE(0u, chosen) << c.launched;
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.hwnd = owner;
        info.lpVerb = MAKEINTRESOURCEA(chosen - first_cmd);
        EXPECT_EQ(S_OK, handler->InvokeCommand(&info));
        ASSERT_FALSE(recorder.launches.empty());
        EXPECT_EQ(root / c.launched, recorder.launches.back().file);
    }
    EXPECT_EQ(L"R&&D.txt", item_text(menu, position_of(menu, L"R&&D.txt"))) << "no mnemonic added";
}

// Wine's menus ignore MNC_SELECT (they honour only MNC_EXECUTE and
// MNC_CLOSE), so the selecting cases look at HandleMenuMsg2's answers, and
// the test moves the selection as Windows does on MNC_SELECT.
TEST_F(menu_typing, SeveralMatchesSelectAndCycleNoneIgnoresOthersMenusAreLeftAlone)
{
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    auto select = [&](const std::wstring &text) {
        for (int i = 0; i < GetMenuItemCount(menu); i++) {
            MENUITEMINFOW state = {};
            state.cbSize = sizeof(state);
            state.fMask = MIIM_STATE;
            state.fState = item_text(menu, i) == text ? MFS_HILITE : 0;
            SetMenuItemInfoW(menu, i, TRUE, &state);
        }
    };
    struct {
        wchar_t ch;
        WORD code;
        std::wstring item;
    } steps[] = {
        {L'b', MNC_SELECT, L"beta.txt"},  {L'B', MNC_SELECT, L"bravo.txt"},  {L'b', MNC_SELECT, L"beta.txt"},
        {L'x', MNC_IGNORE, L""},          {L'r', MNC_SELECT, L"R&&B.txt"},   // "r" after the interval
        {L'&', MNC_SELECT, L"R&&B.txt"},  {L'd', MNC_EXECUTE, L"R&&D.txt"},  // "r&d": the shown "&"
        {L'|', MNC_IGNORE, L""},  // "| NORMAL |" and the logo are no entries
    };
    for (auto &step : steps) {
        if (step.ch == L'r')
            Sleep(GetDoubleClickTime() + 200);
        answer got = type(step.ch, menu);
        EXPECT_EQ(S_OK, got.hr) << step.ch;
        EXPECT_EQ(step.code, got.code) << step.ch;
        EXPECT_EQ(step.item, got.item) << step.ch;
        select(got.item);
    }

    HMENU sub = GetSubMenu(menu, position_of(menu, L"Sub"));
    SendMessageW(owner, WM_INITMENUPOPUP, (WPARAM)sub, 0);
    EXPECT_EQ(MNC_EXECUTE, type(L't', sub).code) << "a submenu of ours answers";
    // The shell's menus keep their mnemonics: no answer, S_FALSE.
    HMENU normal = GetSubMenu(menu, 0);
    LRESULT result = -1;
    for (HMENU other : {normal, (HMENU)NULL}) {
        EXPECT_EQ(S_FALSE, handler->HandleMenuMsg2(WM_MENUCHAR, 'o', (LPARAM)other, &result));
        EXPECT_EQ(0, result);
    }
    EXPECT_EQ(S_FALSE, handler->HandleMenuMsg2(WM_INITMENUPOPUP, (WPARAM)sub, 0, &result));
    EXPECT_EQ(S_FALSE, handler->HandleMenuMsg(WM_MENUCHAR, 'a', (LPARAM)menu));
}

}  // namespace
