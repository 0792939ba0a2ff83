#include "menu_forwarding.h"

bool forward_menu_message(IContextMenu *menu, UINT message, WPARAM wParam, LPARAM lParam, LRESULT *result)
{
    if (!menu || (message != WM_INITMENUPOPUP && message != WM_DRAWITEM && message != WM_MEASUREITEM &&
                  message != WM_MENUCHAR))
        return false;
    *result = 0;
    IContextMenu3 *menu3 = NULL;
    if (SUCCEEDED(menu->QueryInterface(IID_IContextMenu3, (void **)&menu3))) {
        HRESULT hr = menu3->HandleMenuMsg2(message, wParam, lParam, result);
        menu3->Release();
        return hr == S_OK;
    }
    // IContextMenu2 has no way to answer WM_MENUCHAR.
    IContextMenu2 *menu2 = NULL;
    if (message == WM_MENUCHAR || FAILED(menu->QueryInterface(IID_IContextMenu2, (void **)&menu2)))
        return false;
    HRESULT hr = menu2->HandleMenuMsg(message, wParam, lParam);
    menu2->Release();
    // An item drawn or measured by the handler: the window says so.
    if (hr == S_OK && message != WM_INITMENUPOPUP)
        *result = TRUE;
    return hr == S_OK;
}
