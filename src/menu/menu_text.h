// The text a menu item shows for a file name.
#pragma once
#include <windows.h>
#include <stddef.h>

// Whether `c` is a bidirectional formatting character (embeddings,
// overrides, isolates and the directional marks): invisible, yet it reorders
// the characters around it, so "invoice\u202Efdp.exe" would read
// "invoiceexe.pdf".
bool bidi_control(WCHAR c);

// Copies the first `len` characters of `name` into `text` (`capacity`
// characters, NUL included) as a menu shows them truly: bidirectional
// formatting characters are left out, and every "&" is doubled (menus take
// a single one as the mark of a keyboard shortcut).  A name that does not
// fit is cut.
void menu_text(WCHAR *text, size_t capacity, const WCHAR *name, size_t len);
