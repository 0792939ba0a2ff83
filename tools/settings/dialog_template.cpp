#include "dialog_template.h"

// Offsets, in WORDs, of fields of the DLGTEMPLATEEX header.
static const size_t item_count_at = 8;
static const size_t height_at = 12;

dialog_template::dialog_template(const wchar_t *title, DWORD style, short width, short height)
{
    word(1);       // dlgVer
    word(0xFFFF);  // signature: extended template
    dword(0);      // helpID
    dword(0);      // exStyle
    dword(style | DS_SHELLFONT);
    word(0);  // cDlgItems, counted by add()
    word(0);  // x
    word(0);  // y
    word((WORD)width);
    word((WORD)height);
    word(0);  // no menu
    word(0);  // the dialog class
    text(title);
    word(8);           // point size
    word(FW_NORMAL);   // weight
    word(0);           // italic (low byte) and character set (high byte)
    text(L"MS Shell Dlg");
}

void dialog_template::add(dialog_class window_class, const wchar_t *text_, int id, DWORD style, short x, short y,
                          short width, short height, DWORD ex_style)
{
    add_item(window_class, nullptr, text_, id, style, x, y, width, height, ex_style);
}

void dialog_template::add(const wchar_t *window_class, const wchar_t *text_, int id, DWORD style, short x, short y,
                          short width, short height, DWORD ex_style)
{
    add_item(0, window_class, text_, id, style, x, y, width, height, ex_style);
}

// `class_name` null: the predefined class `ordinal`.
void dialog_template::add_item(WORD ordinal, const wchar_t *class_name, const wchar_t *text_, int id, DWORD style,
                               short x, short y, short width, short height, DWORD ex_style)
{
    align_dword();
    dword(0);  // helpID
    dword(ex_style);
    dword(style | WS_CHILD | WS_VISIBLE);
    word((WORD)x);
    word((WORD)y);
    word((WORD)width);
    word((WORD)height);
    dword((DWORD)id);
    if (class_name) {
        text(class_name);
    } else {
        word(0xFFFF);  // the class by its ordinal
        word(ordinal);
    }
    text(text_ ? text_ : L"");
    word(0);  // no creation data
    words[item_count_at]++;
}

void dialog_template::set_height(short height)
{
    words[height_at] = (WORD)height;
}

void dialog_template::dword(DWORD d)
{
    word(LOWORD(d));
    word(HIWORD(d));
}

void dialog_template::text(const wchar_t *s)
{
    for (; *s; s++)
        word((WORD)*s);
    word(0);
}

void dialog_template::align_dword()
{
    if (words.size() % 2)
        word(0);
}
