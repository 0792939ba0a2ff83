// Filling of the context menu when it is initialised for display: the
// shell's items move into "| NORMAL |" (or go), then one item per listed
// entry in screen-high columns, then the logo item.
#include <string.h>
#include <wchar.h>
#include "common/qv_shellex.h"
#include "menu/menu_population.h"
#include "module/menu_state.h"

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

BOOL insert_item(qv_shellex *ext, MENUITEMINFOW *item)
{
    // A screen fewer than five menu rows high gives a height below one:
    // then every item has a column of its own.
    int per_column = ext->per_column > 0 ? ext->per_column : 1;
    if (ext->inserted != 0 && ext->inserted % per_column == 0)
        item->fType |= MFT_MENUBARBREAK;
    BOOL ok = InsertMenuItemW(ext->menu, (UINT)ext->inserted, TRUE, item);
    ext->inserted++;
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

static BOOL insert_entry(qv_shellex *ext, UINT64 j, UINT id)
{
    const qv_entry *entry = &ext->list.entries[j];
    const WCHAR *name = list_name(&ext->list, j);
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
    return insert_item(ext, &item);
}

static void insert_logo(qv_shellex *ext, UINT id)
{
    WCHAR text[QV_MENU_TEXT_CHARS];
    const char *logo = QV_LOGO_TEXT;
    int n = MultiByteToWideChar(CP_ACP, 0, logo, (int)strlen(logo), text, QV_MENU_TEXT_CHARS - 1);
    text[n > 0 ? n : 0] = 0;
    MENUITEMINFOW item = new_record(QV_ITEM_MASK);
    item.fType = MFT_STRING;
    item.wID = id;
    item.dwTypeData = text;
    insert_item(ext, &item);
}

void populate_menu(HMENU hmenu)
{
    const qv_menu_state *state = menu_state();
    qv_shellex *ext = state->ext;
    ext->per_column = column_height();

    // Identifiers: entry j is first + j, the logo first + count, the
    // "| NORMAL |" item first + count + 1.  Sums in 64 bits so none wraps.
    UINT64 first = state->first_cmd;
    UINT64 count = ext->list.entry_count;
    UINT64 end = state->last_cmd;
    ext->menu = hmenu;
    ext->inserted = 0;

    DWORD hide = ext->desktop_ok ? ext->config.HideItemNormalOnDesktop : ext->config.HideItemNormalOnExplorer;
    if (!hide) {
        insert_normal_submenu(state, hmenu, first + count + 1);
        ext->inserted = 1;
    } else {
        delete_all_items(hmenu);
    }

    for (UINT64 j = 0; j < count && first + j < end; j++) {
        if (!insert_entry(ext, j, (UINT)(first + j)))
            break;
    }

    if (!ext->config.HideItemLogo && inside_reserved_block(state, first + count))
        insert_logo(ext, (UINT)(first + count));
}
