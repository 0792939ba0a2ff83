// The text a menu item shows for a file name.
#include "menu/menu_text.h"

bool bidi_control(WCHAR c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F ||
           c == 0x061C;
}

void menu_text(WCHAR *text, size_t capacity, const WCHAR *name, size_t len)
{
    size_t used = 0;
    for (size_t i = 0; i < len; i++) {
        // The name itself keeps them: the launch opens the exact file.
        if (bidi_control(name[i]))
            continue;
        size_t needed = name[i] == L'&' ? 2 : 1;
        if (used + needed >= capacity)
            break;
        text[used++] = name[i];
        if (needed == 2)
            text[used++] = L'&';
    }
    text[used] = 0;
}
