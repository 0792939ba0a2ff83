// Choosing by typing in the launcher's menus: the answer to WM_MENUCHAR,
// which the menu's owner window gets for a key that is no item's mnemonic.
// The entries carry no mnemonics ("&" is doubled), so every letter typed in
// them comes here.
#pragma once
#include <windows.h>

struct qv_menu_session;

// Characters of a typed prefix kept at most; more are not added.
#define QV_TYPED_CHARS 64

// What has been typed in one of a session's menus: the session holds it,
// only menu_typing.cpp changes it.
struct qv_menu_typing {
    HMENU menu;            // the menu typed in last
    ULONGLONG last_key;    // tick count of the last character
    UINT length;
    WCHAR typed[QV_TYPED_CHARS];
};

// WM_MENUCHAR for `menu` with the character `ch`: false when `menu` is
// neither the session's menu nor one of its sub-folders' submenus (others
// keep their own mnemonics).  Otherwise true, with `*answer` as the owner
// window returns it: MNC_EXECUTE and the position of the only entry whose
// shown name starts with what was typed, MNC_SELECT and the next of several,
// or MNC_IGNORE when none does.
bool typing_menu_char(qv_menu_session *session, HMENU menu, WCHAR ch, LRESULT *answer);
