// The menu messages a host passes on from its window while our menu is open
// (IContextMenu2, IContextMenu3).  The hooks fill and watch the menus on
// their own, and no item is owner-drawn: only WM_MENUCHAR, a key typed in
// one of our menus, gets an answer.
#include "extension/qv_shellex.h"
#include "menu/menu_typing.h"

STDMETHODIMP qv_shellex::HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    // Without a place for the result a WM_MENUCHAR cannot be answered.
    return HandleMenuMsg2(uMsg, wParam, lParam, NULL);
}

STDMETHODIMP qv_shellex::HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT *plResult)
{
    if (plResult)
        *plResult = 0;
    if (uMsg != WM_MENUCHAR || !plResult)
        return S_FALSE;
    LRESULT answer = 0;
    if (!typing_menu_char(&session, (HMENU)lParam, (WCHAR)LOWORD(wParam), &answer))
        return S_FALSE;  // another handler's menu, or the shell's
    *plResult = answer;
    return S_OK;
}
