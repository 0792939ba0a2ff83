// Filling of the context menu when it is initialised for display: the
// shell's items move into "| NORMAL |" (or go), then one item per listed
// entry in screen-high columns, then the logo item.
#include <string.h>
#include <wchar.h>
#include "extension/qv_shellex.h"
#include "menu/menu_population.h"
#include "listing/folder_listing.h"
#include "listing/listing_job.h"
#include "menu/menu_state.h"

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
static bool inside_reserved_block(const qv_menu_state *state, UINT64 id)
{
    return id >= state->first_cmd && id < state->last_cmd;
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
static void insert_normal_submenu(const qv_menu_state *state, HMENU hmenu, UINT64 id)
{
    HMENU popup = CreatePopupMenu();
    if (!popup)
        return;
    move_menu_items(hmenu, popup);
    MENUITEMINFOW item = new_record(MIIM_SUBMENU | MIIM_STRING);
    if (inside_reserved_block(state, id)) {
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

// Menus take "&" as the mark of a keyboard shortcut: doubled, it shows as
// itself, so "R&D" reads "R&D" and typing "d" chooses nothing.  Copies the
// first `len` characters of `name` into `text` (`capacity` characters,
// NUL included) with every "&" doubled; a name that does not fit is cut.
static void menu_text(WCHAR *text, size_t capacity, const WCHAR *name, size_t len)
{
    size_t used = 0;
    for (size_t i = 0; i < len; i++) {
        size_t needed = name[i] == L'&' ? 2 : 1;
        if (used + needed >= capacity)
            break;
        text[used++] = name[i];
        if (needed == 2)
            text[used++] = L'&';
    }
    text[used] = 0;
}

// Whether entry j of `list` in `folder` opens as a submenu: a sub-folder (a
// drive's too) when the setting asks for it, not "." or "..", and only when
// its path can still be listed.  Fills `path` with that path.
static bool cascades(const qv_shellex *ext, const qv_item_list *list, UINT64 j, const WCHAR *folder,
                     WCHAR path[MAX_PATH])
{
    if (!ext->config.CascadeFolders || !(list->entries[j].attributes & FILE_ATTRIBUTE_DIRECTORY))
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

// Entry j of `list` (the listing of `folder`) with identifier `id`; a
// sub-folder that cascades gets an empty submenu, filled when it opens.
static BOOL insert_entry(qv_menu_fill *fill, const qv_shellex *ext, const qv_item_list *list, UINT64 j, UINT id,
                         const WCHAR *folder)
{
    const qv_entry *entry = &list->entries[j];
    const WCHAR *name = list_name(list, j);
    // The pool keeps the real name for the launch; the menu gets its own text.
    WCHAR text[QV_MENU_TEXT_CHARS];
    menu_text(text, QV_MENU_TEXT_CHARS, name, shown_length(name, ext->config.HideFileExtension));
    MENUITEMINFOW item = new_record(QV_ITEM_MASK);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = text;
    if (entry->bitmap) {
        item.fMask |= MIIM_BITMAP;
        item.hbmpItem = entry->bitmap;
    }
    WCHAR path[MAX_PATH];
    HMENU submenu = NULL;
    if (cascades(ext, list, j, folder, path)) {
        submenu = CreatePopupMenu();
        if (submenu && menu_add_submenu(submenu, id, path)) {
            item.fMask |= MIIM_SUBMENU;
            item.hSubMenu = submenu;
        } else if (submenu) {
            DestroyMenu(submenu);
            submenu = NULL;
        }
    }
    BOOL ok = insert_item(fill, &item);
    if (!ok && submenu)
        DestroyMenu(submenu);
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

void populate_menu(HMENU hmenu)
{
    const qv_menu_state *state = menu_state();
    qv_shellex *ext = state->ext;
    qv_menu_fill *fill = menu_fill();
    fill->per_column = column_height();

    // Identifiers: entry j is first + j, the logo first + count, the
    // "| NORMAL |" item first + count + 1.  Sums in 64 bits so none wraps.
    UINT64 first = state->first_cmd;
    UINT64 count = ext->list.entry_count;
    UINT64 end = state->last_cmd;
    fill->menu = hmenu;
    fill->inserted = 0;
    menu_count_pictures(list_picture_count(&ext->list));

    DWORD hide = ext->desktop_ok ? ext->config.HideItemNormalOnDesktop : ext->config.HideItemNormalOnExplorer;
    if (!hide) {
        insert_normal_submenu(state, hmenu, first + count + 1);
        fill->inserted = 1;
    } else {
        delete_all_items(hmenu);
    }

    for (UINT64 j = 0; j < count && first + j < end; j++) {
        if (!insert_entry(fill, ext, &ext->list, j, (UINT)(first + j), ext->path))
            break;
    }

    if (!ext->config.HideItemLogo && inside_reserved_block(state, first + count))
        insert_logo(fill, (UINT)(first + count));
}

// The attributes the listing above gave the entry `id` leads from, or
// INVALID_FILE_ATTRIBUTES.
static DWORD entry_attributes(const qv_shellex *ext, UINT id)
{
    const qv_submenu *above = NULL;
    UINT64 index = 0;
    if (menu_find_entry(id, &above, &index))
        return above->list.entries[index].attributes;
    UINT64 first = menu_state()->first_cmd;
    return id >= first && id - first < ext->list.entry_count ? ext->list.entries[id - first].attributes
                                                             : INVALID_FILE_ATTRIBUTES;
}

void populate_submenu(HMENU popup)
{
    qv_submenu *submenu = menu_submenu_to_fill(popup);
    if (!submenu)
        return;
    const qv_shellex *ext = menu_state()->ext;
    qv_menu_fill fill = {popup, 0, column_height()};
    // "." opens the folder itself, whatever else the submenu gets.
    insert_text(&fill, L".", submenu->item_id);

    // No more names than identifiers are left, "." after them included.
    UINT left = menu_pool_left();
    if (left < 2)
        return;
    qv_listing_rules rules = listing_rules(&ext->config, 0);
    if (rules.max_names > left - 1)
        rules.max_names = left - 1;
    rules.pictures = menu_pictures_left();
    qv_item_list listing = {};
    DWORD attributes = entry_attributes(ext, submenu->item_id);
    if (list_in_time(submenu->folder, attributes, &rules, deadline_after(ext->config.ListingTimeLimit), &listing) !=
            qv_listing_listed ||
        listing.entry_count == 0) {
        list_clear(&listing);
        return;
    }
    UINT taken = 0;
    UINT first = menu_take_ids(listing.entry_count, &taken);
    menu_count_pictures(list_picture_count(&listing));
    // Recorded before the entries go in: a sub-folder among them records a
    // submenu of its own, which may move this record.
    submenu->list = listing;
    submenu->first_id = first;
    WCHAR folder[MAX_PATH];
    wcscpy(folder, submenu->folder);

    MENUITEMINFOW separator = new_record(MIIM_FTYPE);
    separator.fType = MFT_SEPARATOR;
    insert_item(&fill, &separator);
    for (UINT j = 0; j < taken; j++) {
        if (!insert_entry(&fill, ext, &listing, j, first + j, folder))
            break;
    }
}
