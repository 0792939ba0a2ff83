// The extension object: the one COM class of the module.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "common/qv_config.h"
#include "common/qv_item_list.h"
#include "menu/menu_session.h"

// IShellExtInit is the primary base: its pointer is the object's identity.
// The context-menu side (IContextMenu3, and so IContextMenu2 and
// IContextMenu) has IUnknown methods that are this-adjusting thunks
// forwarding to the same implementation.
class qv_shellex : public IShellExtInit, public IContextMenu3 {
public:
    // Allocates from the process heap (zeroed), reference count 1, and raises
    // OutstandingObjects.  Returns null when out of memory.
    static qv_shellex *create();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject *pdtobj, HKEY hkeyProgID) override;

    // Follows Initialize in the IShellExtInit vtable.
    virtual ~qv_shellex();

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO *pici) override;
    STDMETHODIMP GetCommandString(UINT_PTR idCmd, UINT uType, UINT *pReserved, CHAR *pszName, UINT cchMax) override;

    // IContextMenu2, IContextMenu3: the menu messages the host's window
    // gets.  Only WM_MENUCHAR of our own menus is answered (typing).
    STDMETHODIMP HandleMenuMsg(UINT uMsg, WPARAM wParam, LPARAM lParam) override;
    STDMETHODIMP HandleMenuMsg2(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT *plResult) override;

    // True once Initialize has taken a path from a selection.
    bool initialized() const { return path[0] != 0; }

    LONG refcount;  // changed only by InterlockedIncrement and InterlockedDecrement
    WCHAR path[MAX_PATH];  // the selected item, or the target of a shortcut
    qv_config config;
    qv_item_list list;
    DWORD is_dir;
    DWORD is_lnk;
    DWORD desktop_ok;
    DWORD link_pending;  // a shortcut whose target is not read yet
    // The menu of the last QueryContextMenu, its submenus and identifiers.
    qv_menu_session session;

private:
    qv_shellex();
};
