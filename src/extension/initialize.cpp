// Initialization from the selected item: the first path of the drop list,
// the settings, the desktop test and the target of a shortcut.
#include "extension/qv_shellex.h"
#include <shellapi.h>
#include <string.h>
#include <wchar.h>
#include "common/trace.h"
#include "extension/desktop_test.h"
#include "extension/drop_list.h"
#include "listing/shortcut.h"

// 1 unless the current user's desktop folder is known and `path` does not lie
// directly in it.  The desktop's path is taken as the user's settings give
// it, without looking at the folder: it may lie on a drive that is slow or
// gone, and this runs on the host's thread.
static DWORD lies_on_desktop(const WCHAR *path)
{
    WCHAR desktop[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY | CSIDL_FLAG_DONT_VERIFY, NULL, SHGFP_TYPE_CURRENT,
                                desktop)))
        return 1;
    desktop[MAX_PATH - 1] = 0;
    return desktop_test(path, desktop);
}

// Copies the first name of the drop list into `path`.  A name that is empty
// or does not fit leaves `path` empty, so the object counts as uninitialised
// rather than naming a truncated or earlier path.
static bool copy_first_name(HDROP drop, WCHAR *path)
{
    UINT needed = DragQueryFileW(drop, 0, NULL, 0);
    path[0] = 0;
    if (needed == 0 || needed >= MAX_PATH)
        return false;
    UINT copied = DragQueryFileW(drop, 0, path, MAX_PATH);
    path[MAX_PATH - 1] = 0;
    if (copied == 0) {
        path[0] = 0;
        return false;
    }
    return true;
}

// The listing names entries of the folder it was made for; InvokeCommand
// joins them to `path`.  Once `path` names another item, those names would
// launch files of the wrong folder, so the listing goes, and a menu reserved
// for it but not yet shown is left as the shell built it.
static void forget_listing(qv_shellex *ext)
{
    session_forget_listing(&ext->session);
    list_clear(&ext->list);
}

// What follows from the selected path: one trailing backslash goes ('C:\\'
// becomes 'C:'), the settings are read and the desktop test is made.  None of
// it reads the item's drive: a double-click (the shell asks only for the
// default verb) comes here too.
static void take_selection(qv_shellex *ext)
{
    WCHAR *path = ext->path;
    size_t len = wcslen(path);
    if (len >= 1 && path[len - 1] == L'\\')
        path[--len] = 0;
    trace("Initialize: %ls\n", path);

    ext->config.load();
    ext->desktop_ok = 1;
    if (ext->config.OnlyAllowedOnDesktop)
        ext->desktop_ok = lies_on_desktop(path);

    // The desktop test above looked at the shortcut's own location.  The
    // shortcut is read by QueryContextMenu, when a menu is asked for.
    ext->is_lnk = shortcut_name(path) ? 1 : 0;
    ext->link_pending = ext->is_lnk;
}

STDMETHODIMP qv_shellex::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject *pdtobj, HKEY hkeyProgID)
{
    (void)pidlFolder;
    (void)hkeyProgID;
    if (!pdtobj)
        return E_INVALIDARG;

    FORMATETC format = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    if (FAILED(pdtobj->GetData(&format, &medium)))
        return E_INVALIDARG;
    // The data object may come from any program: take only an HGLOBAL whose
    // drop list is whole, and leave everything as it was otherwise.
    HDROP drop = NULL;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal)
        drop = (HDROP)GlobalLock(medium.hGlobal);

    HRESULT hr = E_INVALIDARG;
    if (drop && drop_list_is_sound(drop, GlobalSize(medium.hGlobal)) && DragQueryFileW(drop, 0xFFFFFFFF, NULL, 0) != 0) {
        WCHAR listed_path[MAX_PATH];
        memcpy(listed_path, path, sizeof(listed_path));
        // Only the first item of a multiple selection is used.
        hr = copy_first_name(drop, path) ? S_OK : E_INVALIDARG;
        take_selection(this);
        if (wcscmp(listed_path, path) != 0)
            forget_listing(this);
    }

    if (drop)
        GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return hr;
}
