// Command reservation: QueryContextMenu lists the folder and reserves the
// identifiers; the menu itself is filled later, from the hooks, when it is
// initialised for display.
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"
#include "listing/listing_job.h"
#include "menu/identifier_block.h"
#include "menu/menu_session.h"

static HRESULT reserved(UINT count)
{
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, count);
}

// The rules of this object's listing, with no more entries than the
// identifiers between idCmdFirst and idCmdLast can number: the entries, the
// logo and the "| NORMAL |" item each take one, and the count reserved must
// fit the 16 bits of the result.
static qv_listing_rules bounded_rules(const qv_shellex *ext, UINT idCmdFirst, UINT idCmdLast)
{
    qv_listing_rules rules = listing_rules(&ext->config, ext->is_lnk);
    UINT64 entries = entries_that_fit(idCmdFirst, idCmdLast);
    if (rules.max_names > entries - 1)
        rules.max_names = entries - 1;  // and "." after them
    return rules;
}

STDMETHODIMP qv_shellex::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    (void)indexMenu;
    // This call's menu, if any, replaces the last one's.
    session_end(&session);
    // One deadline for all this right-click waits for: the shortcut, then
    // its folder.
    qv_deadline deadline = deadline_after(config.ListingTimeLimit);
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
    if (!desktop_ok && config.OnlyAllowedOnDesktop)
        return reserved(0);
    // The shortcut is read here, past the check for a double-click (which
    // asks for the default verb only), so that a double-click reads nothing.
    // One whose target was not read in time may not lead to a folder at all.
    if (link_pending) {
        if (!resolve_shortcut_in_time(path, deadline))
            return reserved(0);
        link_pending = 0;
    }

    // Everything that reads the folder's drive runs on a worker; this
    // thread, the shell's, waits for it no longer than the time limit.  A
    // folder too long to list offers nothing, not the listing an earlier
    // call left for another folder.
    qv_item_list listing = {};
    if (wcslen(path) > QV_MAX_LISTED_PATH) {
        list_clear(&list);
        return reserved(0);
    }
    qv_listing_rules rules = bounded_rules(this, idCmdFirst, idCmdLast);
    qv_job *job = NULL;  // held by the menu while its pictures may still come
    switch (list_in_time(path, INVALID_FILE_ATTRIBUTES, &rules, deadline, &listing, &job)) {
    case qv_listing_unknown:
        return reserved(0);
    case qv_listing_not_folder:
        // The earlier listing stays, as the attributes alone decide.
        is_dir = 0;
        return reserved(0);
    case qv_listing_no_worker:
        // What is kept of the folder; else only the shell's word that this
        // is a folder, and a shortcut's target may be a file.
        if (listing.entry_count)
            break;
        if (is_lnk)
            return reserved(0);
        list_dot_alone(&listing);
        break;
    case qv_listing_listed:
    case qv_listing_partial:
        break;
    }
    is_dir = 1;
    list_clear(&list);
    list = listing;
    if (list.entry_count == 0) {
        listing_let_go(job);
        return reserved(0);
    }

    qv_identifier_block block = identifier_block(idCmdFirst, idCmdLast, list.entry_count, config.CascadeFolders != 0);
    // A menu that could not be hooked would never be filled.
    qv_menu_source source = {&list, &config, path, desktop_ok != 0};
    if (!session_start(&session, source, hmenu, idCmdFirst, block.end, block.pool_first)) {
        listing_let_go(job);
        return reserved(0);
    }
    session_hold_listing(&session, QV_TOP_MENU, job);
    return reserved(block.end - idCmdFirst);
}
