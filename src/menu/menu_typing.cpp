// Choosing by typing: letters typed in the launcher's menus move to the
// entries whose shown names start with them, and choose the only one.
#include "menu/menu_typing.h"
#include "menu/menu_session.h"

// Longer than any entry's text: a name of MAX_PATH characters, each "&"
// doubled.
#define QV_ITEM_TEXT_CHARS 1024

// What a menu item's text shows: "&&" shows as "&", a single "&" marks the
// mnemonic and is not shown, and a tab starts the accelerator column.
// Returns the length of `shown`.
static int shown_text(const WCHAR *text, WCHAR *shown)
{
    int length = 0;
    for (const WCHAR *p = text; *p && *p != L'\t'; p++) {
        if (*p == L'&') {
            p++;
            if (!*p)
                break;
        }
        shown[length++] = *p;
    }
    shown[length] = 0;
    return length;
}

// Whether `name` starts with `prefix`, compared as the shell compares names:
// case-insensitively in any script, by the user's locale, not by code unit.
static bool starts_with(const WCHAR *name, int name_length, const WCHAR *prefix, int prefix_length)
{
    return name_length >= prefix_length &&
           CompareStringEx(LOCALE_NAME_USER_DEFAULT, NORM_IGNORECASE, name, prefix_length, prefix, prefix_length,
                           NULL, NULL, 0) == CSTR_EQUAL;
}

// Item `position` of `menu` as typing sees it: false for anything but an
// entry (a separator; in the top menu "| NORMAL |" and the logo, which are
// no listed names).  Fills `shown` and whether the item is the selected one.
static bool read_entry(const qv_menu_session *session, HMENU menu, bool top, int position, WCHAR *shown,
                       int *shown_length, bool *selected)
{
    WCHAR text[QV_ITEM_TEXT_CHARS];
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = QV_ITEM_TEXT_CHARS;
    if (!GetMenuItemInfoW(menu, (UINT)position, TRUE, &item))
        return false;
    *selected = (item.fState & MFS_HILITE) != 0;
    if (item.fType & (MFT_SEPARATOR | MFT_OWNERDRAW) || !item.dwTypeData)
        return false;
    // Entry j of the listing has identifier first_cmd + j.
    if (top && (!session->source.list || item.wID < session->first_cmd || item.wID - session->first_cmd >= session->source.list->entry_count))
        return false;
    *shown_length = shown_text(text, shown);
    return true;
}

// Adds `ch` to what was typed in `menu`, starting afresh in another menu or
// when the last character came longer ago than the typing interval.
static void note_character(qv_menu_typing *typing, HMENU menu, WCHAR ch)
{
    ULONGLONG now = GetTickCount64();
    if (typing->menu != menu || now - typing->last_key > GetDoubleClickTime())
        typing->length = 0;
    typing->menu = menu;
    typing->last_key = now;
    if (typing->length < QV_TYPED_CHARS)
        typing->typed[typing->length++] = ch;
}

// The same character again and again (in either case) cycles through the
// entries that start with it, as in the shell's file lists, rather than
// asking for "bbb".
static bool one_character_repeated(const qv_menu_typing *typing)
{
    for (UINT i = 1; i < typing->length; i++) {
        if (!starts_with(&typing->typed[i], 1, typing->typed, 1))
            return false;
    }
    return true;
}

bool typing_menu_char(qv_menu_session *session, HMENU menu, WCHAR ch, LRESULT *answer)
{
    bool top = session->menu && menu == session->menu;
    if (!menu || (!top && session_submenu_of(session, menu) == QV_TOP_MENU))
        return false;
    *answer = MAKELRESULT(0, MNC_IGNORE);
    if (ch < L' ')
        return true;  // a control character types nothing
    qv_menu_typing *typing = &session->typing;
    note_character(typing, menu, ch);
    bool cycling = one_character_repeated(typing);
    int prefix_length = cycling ? 1 : (int)typing->length;

    // The next match after the selected entry (from it, when a longer
    // prefix may still fit it), else the first one, wrapping.
    int selected = -1, first = -1, next = -1, matches = 0;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; i++) {
        WCHAR shown[QV_ITEM_TEXT_CHARS];
        int shown_length = 0;
        bool is_selected = false;
        bool entry = read_entry(session, menu, top, i, shown, &shown_length, &is_selected);
        if (is_selected)
            selected = i;
        if (!entry || !starts_with(shown, shown_length, typing->typed, prefix_length))
            continue;
        matches++;
        if (first < 0)
            first = i;
        if (next < 0 && selected >= 0 && (i > selected || (i == selected && !cycling)))
            next = i;
    }
    if (matches == 1) {
        typing->length = 0;  // chosen: the next menu starts afresh
        *answer = MAKELRESULT(first, MNC_EXECUTE);
    } else if (matches > 1) {
        *answer = MAKELRESULT(next >= 0 ? next : first, MNC_SELECT);
    }
    return true;
}
