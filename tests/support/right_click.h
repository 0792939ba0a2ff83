// A right-click as the shell makes it: Initialize with the item's data
// object, then QueryContextMenu, timed, and the names the object listed.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include <string>
#include <vector>

struct qv_shellex;

struct click {
    HRESULT init = E_FAIL;
    UINT reserved = 0;
    DWORD ms = 0;  // Initialize + QueryContextMenu
    std::vector<std::wstring> names;
};

// On `menu`; a double-click asks with CMF_DEFAULTONLY.
click right_click(IShellExtInit *init, IContextMenu *context, const std::wstring &item, HMENU menu,
                  UINT flags = CMF_NORMAL);
// On a menu of its own, with the names of the object's listing.
click right_click(qv_shellex *ext, const std::wstring &item, UINT flags = CMF_NORMAL);
