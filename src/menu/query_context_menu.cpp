// Command reservation: QueryContextMenu lists the folder and reserves the
// identifiers; the menu itself is filled later, from the hooks, when it is
// initialised for display.
#include "common/qv_shellex.h"
#include "extension/folder_listing.h"
#include "module/menu_state.h"

// Identifiers reserved beyond one per entry: the logo, the "| NORMAL |"
// submenu item, and room to spare.
#define QV_EXTRA_IDS 10
// Longest folder path that is listed: leaves room for "\*" and a name.
#define QV_MAX_LISTED_PATH 244

static HRESULT reserved(UINT count)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count);
}

STDMETHODIMP qv_shellex::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    (void)indexMenu;
    if (!initialized())
        return reserved(0);
    if (uFlags & (CMF_DEFAULTONLY | CMF_VERBSONLY))
        return reserved(0);
    // The menu is recorded and later matched by its handle: a handle that
    // names no menu (or one already destroyed) gets nothing reserved.
    if (!IsMenu(hmenu))
        return reserved(0);
    // Sums in 64 bits: an idCmdFirst near the top of the range must not wrap
    // into a block that lies below it.
    if ((UINT64)idCmdFirst + QV_EXTRA_IDS >= idCmdLast)
        return reserved(0);
    // Shift+right-click leaves the shell's menu as it is.
    if (GetKeyState(VK_SHIFT) & 0x8000)
        return reserved(0);
    // A path that is gone answers INVALID_FILE_ATTRIBUTES, all bits set:
    // that is no folder.
    DWORD attributes = GetFileAttributesW(path);
    is_dir = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) ? 1 : 0;
    if (!is_dir)
        return reserved(0);
    if (!desktop_ok && config.OnlyAllowedOnDesktop)
        return reserved(0);

    // A folder too long to list offers nothing, not the listing an earlier
    // call left for another folder.
    list_clear(&list);
    if (wcslen(path) <= QV_MAX_LISTED_PATH)
        list_directory(this, path);
    if (list.entry_count == 0)
        return reserved(0);

    UINT64 end = (UINT64)idCmdFirst + list.entry_count + QV_EXTRA_IDS;
    UINT last_cmd = end < idCmdLast ? (UINT)end : idCmdLast;
    // A menu that could not be hooked would never be filled.
    if (!menu_start(this, hmenu, idCmdFirst, last_cmd))
        return reserved(0);
    return reserved(last_cmd - idCmdFirst);
}
