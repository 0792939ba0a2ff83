#include "menu_dump.h"

std::wstring dump_menu(HMENU menu, int depth)
{
    std::wstring text;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        wchar_t name[1024] = L"";
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_BITMAP | MIIM_STATE;
        info.dwTypeData = name;
        info.cch = 1024;
        if (!GetMenuItemInfoW(menu, i, TRUE, &info))
            continue;
        wchar_t line[1400];
        std::wstring indent(2 * depth + 2, L' ');
        if (info.fType & MFT_SEPARATOR) {
            swprintf(line, 1400, L"%ls%3d  ----------------\n", indent.c_str(), i);
        } else {
            swprintf(line, 1400, L"%ls%3d  %-40ls id=%-5u%ls%ls%ls\n", indent.c_str(), i, name, info.wID,
                     info.hbmpItem ? L" [picture]" : L"",
                     (info.fType & MFT_MENUBARBREAK) ? L" [new column]" : L"",
                     (info.fState & MFS_DISABLED) ? L" [disabled]" : L"");
        }
        text += line;
        if (info.hSubMenu)
            text += dump_menu(info.hSubMenu, depth + 1);
    }
    return text;
}

int find_menu_position(HMENU menu, UINT id)
{
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        // GetMenuItemID answers -1 for an item with a submenu: ask for the
        // identifier itself.
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID;
        if (GetMenuItemInfoW(menu, i, TRUE, &info) && info.wID == id)
            return i;
    }
    return -1;
}

POINT menu_item_point(HWND owner, HMENU menu, int position)
{
    RECT rect;
    POINT aim = {-1, -1};
    if (GetMenuItemRect(owner, menu, position, &rect)) {
        for (int y = rect.top - 40; y < rect.bottom + 40 && aim.y < 0; y++) {
            POINT p = {(rect.left + rect.right) / 2, y};
            if (MenuItemFromPoint(owner, menu, p) == position)
                aim = {p.x, y + (rect.bottom - rect.top) / 2};
        }
    }
    return aim;
}
