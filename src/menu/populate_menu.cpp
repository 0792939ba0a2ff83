// Filling of the context menu when it is initialised for display: the
// shell's items move into "| NORMAL |" (or go), then one item per listed
// entry in screen-high columns, then the logo item.
#include <string.h>
#include <wchar.h>
#include "menu/menu_population.h"
#include "listing/folder_listing.h"
#include "listing/listing_job.h"
#include "menu/menu_session.h"
#include "menu/menu_text.h"

int (WINAPI *g_menu_metrics)(int index) = GetSystemMetrics;

// Size of the text buffers of moved items and of the logo text.
#define QV_MENU_TEXT_CHARS 1024
// Everything an item carries, so that a moved item keeps working.
#define QV_MOVE_MASK (MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA | MIIM_STRING | MIIM_BITMAP | MIIM_FTYPE)
#define QV_ITEM_MASK (MIIM_ID | MIIM_STRING | MIIM_FTYPE)

static MENUITEMINFOW new_record(UINT mask)
{
    MENUITEMINFOW item;
    memset(&item, 0, sizeof(item));
    item.cbSize = sizeof(item);
    item.fMask = mask;
    return item;
}

// Items per column: as many menu rows as the screen holds, less four.
static int column_height()
{
    int screen = g_menu_metrics(SM_CYSCREEN);
    int row = g_menu_metrics(SM_CYMENU) + 1;
    // GetSystemMetrics answers 0 when it fails; never divide by less than 1.
    if (row < 1)
        row = 1;
    return screen / row - 4;
}

// Identifiers at or beyond the end of the reserved block belong to whoever
// follows us in the shell's range: an item only gets one inside the block.
static bool inside_reserved_block(const qv_menu_session *session, UINT64 id)
{
    return id >= session->first_cmd && id < session->last_cmd;
}

BOOL insert_item(qv_menu_fill *fill, MENUITEMINFOW *item)
{
    // A screen fewer than five menu rows high gives a height below one:
    // then every item has a column of its own.
    int per_column = fill->per_column > 0 ? fill->per_column : 1;
    if (fill->inserted != 0 && fill->inserted % per_column == 0)
        item->fType |= MFT_MENUBARBREAK;
    BOOL ok = InsertMenuItemW(fill->menu, (UINT)fill->inserted, TRUE, item);
    fill->inserted++;
    return ok;
}

void move_menu_items(HMENU from, HMENU to)
{
    int n = GetMenuItemCount(from);
    if (n == -1 || GetMenuItemCount(to) == -1)
        return;
    // Last to first, each to the top of `to`: the order stays as it was.
    while (n > 0) {
        n--;
        WCHAR text[QV_MENU_TEXT_CHARS];
        text[0] = 0;
        MENUITEMINFOW item = new_record(QV_MOVE_MASK);
        item.dwTypeData = text;
        item.cch = QV_MENU_TEXT_CHARS;
        if (!GetMenuItemInfoW(from, (UINT)n, TRUE, &item))
            break;
        // RemoveMenu, not DeleteMenu: the item's submenu goes along with it.
        RemoveMenu(from, (UINT)n, MF_BYPOSITION);
        if (!InsertMenuItemW(to, 0, TRUE, &item)) {
            if (item.hSubMenu)
                DestroyMenu(item.hSubMenu);
            break;
        }
    }
}

// Puts the shell's items into a "| NORMAL |" submenu at position 0.
static void insert_normal_submenu(const qv_menu_session *session, HMENU hmenu, UINT64 id)
{
    HMENU popup = CreatePopupMenu();
    if (!popup)
        return;
    move_menu_items(hmenu, popup);
    MENUITEMINFOW item = new_record(MIIM_SUBMENU | MIIM_STRING);
    if (inside_reserved_block(session, id)) {
        item.fMask |= MIIM_ID;
        item.wID = (UINT)id;
    }
    item.hSubMenu = popup;
    item.dwTypeData = (WCHAR *)QV_NORMAL_TEXT;
    if (!InsertMenuItemW(hmenu, 0, TRUE, &item))
        DestroyMenu(popup);
}

static void delete_all_items(HMENU hmenu)
{
    for (int i = GetMenuItemCount(hmenu) - 1; i >= 0; i--)
        DeleteMenu(hmenu, (UINT)i, MF_BYPOSITION);
}

// Length of the part of `name` that is shown: all of it, or the part before
// its last "." when the extension is hidden.  A leading "." is never cut:
// '.gitignore' stays as it is.
static size_t shown_length(const WCHAR *name, DWORD mode)
{
    size_t len = wcslen(name);
    if (mode == 0)
        return len;
    if (mode == 1 && !(len > 4 && _wcsicmp(name + len - 4, L".lnk") == 0))
        return len;
    const WCHAR *dot = wcsrchr(name, L'.');
    return dot && dot != name ? (size_t)(dot - name) : len;
}

// Whether entry j of `list` in `folder` opens as a submenu: a sub-folder (a
// drive's too) when the setting asks for it, not "." or "..", and only when
// its path can still be listed.  Fills `path` with that path.
static bool cascades(const qv_config *config, const qv_item_list *list, UINT64 j, const WCHAR *folder,
                     WCHAR path[MAX_PATH])
{
    if (!config->CascadeFolders || !(list->entries[j].attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const WCHAR *name = list_name(list, j);
    if (!wcscmp(name, L".") || !wcscmp(name, L".."))
        return false;
    size_t folder_len = wcslen(folder), name_len = wcslen(name);
    if (folder_len + 1 + name_len > QV_MAX_LISTED_PATH)
        return false;
    wmemcpy(path, folder, folder_len);
    path[folder_len] = L'\\';
    wmemcpy(path + folder_len + 1, name, name_len + 1);
    return true;
}

// Where the entries of one menu come from: a listing of `folder`, shown in
// the submenu `submenu` (or QV_TOP_MENU).
struct entry_origin {
    const qv_item_list *list;
    const WCHAR *folder;
    UINT submenu;
};

// Entry j of the origin's listing with identifier `id`; a sub-folder that
// cascades gets an empty submenu, filled when it opens.
static BOOL insert_entry(qv_menu_session *session, qv_menu_fill *fill, const entry_origin &origin, UINT64 j,
                         UINT id)
{
    const qv_config *config = session->source.config;
    const qv_entry *entry = &origin.list->entries[j];
    const WCHAR *name = list_name(origin.list, j);
    // The pool keeps the real name for the launch; the menu gets its own text.
    WCHAR text[QV_MENU_TEXT_CHARS];
    menu_text(text, QV_MENU_TEXT_CHARS, name, shown_length(name, config->HideFileExtension));
    MENUITEMINFOW item = new_record(QV_ITEM_MASK);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = text;
    HBITMAP picture = picture_of(&session->pictures, entry->icon);
    if (picture) {
        item.fMask |= MIIM_BITMAP;
        item.hbmpItem = picture;
    }
    WCHAR path[MAX_PATH];
    HMENU submenu = NULL;
    if (cascades(config, origin.list, j, origin.folder, path)) {
        submenu = CreatePopupMenu();
        if (submenu && session_add_submenu(session, submenu, id, origin.submenu, path, entry->attributes)) {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = submenu;
        } else if (submenu) {
            DestroyMenu(submenu);
            submenu = NULL;
        }
    }
    BOOL ok = insert_item(fill, &item);
    if (!ok && submenu) {
        // Its record goes with it.
        UINT index = session_submenu_of(session, submenu);
        if (index != QV_TOP_MENU)
            session_empty_submenu(session, index);
        DestroyMenu(submenu);
    }
    return ok;
}

static void insert_text(qv_menu_fill *fill, const WCHAR *text, UINT id)
{
    MENUITEMINFOW item = new_record(QV_ITEM_MASK);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = (WCHAR *)text;
    insert_item(fill, &item);
}

static void insert_logo(qv_menu_fill *fill, UINT id)
{
    WCHAR text[QV_MENU_TEXT_CHARS];
    const char *logo = QV_LOGO_TEXT;
    int n = MultiByteToWideChar(CP_ACP, 0, logo, (int)strlen(logo), text, QV_MENU_TEXT_CHARS - 1);
    text[n > 0 ? n : 0] = 0;
    insert_text(fill, text, id);
}

void populate_menu(qv_menu_session *session, HMENU hmenu)
{
    const qv_menu_source &source = session->source;
    qv_menu_fill *fill = &session->fill;
    fill->per_column = column_height();

    // Identifiers: entry j is first + j, the logo first + count, the
    // "| NORMAL |" item first + count + 1.  Sums in 64 bits so none wraps.
    UINT64 first = session->first_cmd;
    UINT64 count = source.list->entry_count;
    UINT64 end = session->last_cmd;
    fill->menu = hmenu;
    fill->inserted = 0;

    DWORD hide = source.desktop_ok ? source.config->HideItemNormalOnDesktop : source.config->HideItemNormalOnExplorer;
    if (!hide) {
        insert_normal_submenu(session, hmenu, first + count + 1);
        fill->inserted = 1;
    } else {
        delete_all_items(hmenu);
    }

    entry_origin origin = {source.list, source.folder, QV_TOP_MENU};
    for (UINT64 j = 0; j < count && first + j < end; j++) {
        if (!insert_entry(session, fill, origin, j, (UINT)(first + j)))
            break;
    }

    if (!source.config->HideItemLogo && inside_reserved_block(session, first + count))
        insert_logo(fill, (UINT)(first + count));
}

// Whether a listing names nothing: empty, or only the "." that stands for
// what was not listed.
static bool names_nothing(const qv_item_list *listing)
{
    return listing->entry_count == 0 || (listing->entry_count == 1 && !wcscmp(list_name(listing, 0), L"."));
}

void populate_submenu(qv_menu_session *session, UINT index)
{
    qv_submenu *submenu = &session->submenus[index];
    if (submenu->state == qv_submenu_closed && !submenu->partial) {
        // Shown again as it was.
        submenu->state = qv_submenu_open;
        return;
    }
    if (submenu->state != qv_submenu_waiting)
        session_empty_submenu(session, index);  // partial: listed anew
    submenu = &session->submenus[index];
    submenu->state = qv_submenu_open;
    HMENU popup = submenu->popup;
    const qv_config *config = session->source.config;
    qv_menu_fill fill = {popup, 0, column_height()};
    // "." opens the folder itself, whatever else the submenu gets.
    insert_text(&fill, L".", submenu->item_id);

    // No more names than identifiers can be had, "." after them included.
    UINT left = session_ids_available(session);
    if (left < 2) {
        submenu->partial = true;  // others may have given theirs back by then
        return;
    }
    qv_listing_rules rules = listing_rules(config, 0);
    if (rules.max_names > left - 1)
        rules.max_names = left - 1;
    WCHAR folder[MAX_PATH];
    wcscpy(folder, submenu->folder);
    qv_item_list listing = {};
    qv_job *job = NULL;
    qv_listing_outcome outcome =
        list_in_time(folder, submenu->attributes, &rules, deadline_after(config->ListingTimeLimit), &listing, &job);
    bool partial = outcome != qv_listing_listed;
    // Nothing found in time, or a folder that is not read: "." alone, and
    // a partial listing is listed again when the submenu reopens.
    if (names_nothing(&listing)) {
        list_clear(&listing);
        listing_let_go(job);
        submenu->partial = partial;
        return;
    }
    UINT taken = session_fill_submenu(session, index, &listing, partial);
    session_hold_listing(session, index, job);
    // The records may have moved: a sub-folder among the entries records a
    // submenu of its own.
    MENUITEMINFOW separator = new_record(MIIM_FTYPE);
    separator.fType = MFT_SEPARATOR;
    insert_item(&fill, &separator);
    for (UINT j = 0; j < taken; j++) {
        const qv_submenu *filled = &session->submenus[index];
        entry_origin origin = {&filled->list, folder, index};
        if (!insert_entry(session, &fill, origin, j, filled->ids[j]))
            break;
    }
}
