// A dialog template built in memory (DLGTEMPLATEEX), laid out in dialog
// units, for DialogBoxIndirectParamW.  Dialog units follow the dialog's
// font, so the window scales with the font and the display's DPI.
#pragma once
#include <windows.h>
#include <vector>

// Predefined window classes, by their ordinal.
enum dialog_class : WORD {
    class_button = 0x0080,
    class_edit = 0x0081,
    class_static = 0x0082,
    class_combo_box = 0x0085,
};

class dialog_template {
public:
    // A dialog in the shell's font ("MS Shell Dlg", 8 points); `style`
    // gets DS_SHELLFONT added.
    dialog_template(const wchar_t *title, DWORD style, short width, short height);
    // Adds a control; controls take the tab order in which they are added.
    void add(dialog_class window_class, const wchar_t *text, int id, DWORD style, short x, short y, short width,
             short height, DWORD ex_style = 0);
    // The same for a class known by its name (e.g. common controls').
    void add(const wchar_t *window_class, const wchar_t *text, int id, DWORD style, short x, short y, short width,
             short height, DWORD ex_style = 0);
    void set_height(short height);
    const DLGTEMPLATE *get() const { return (const DLGTEMPLATE *)words.data(); }

private:
    void word(WORD w) { words.push_back(w); }
    void dword(DWORD d);
    void text(const wchar_t *s);
    void align_dword();
    void add_item(WORD ordinal, const wchar_t *class_name, const wchar_t *text, int id, DWORD style, short x, short y,
                  short width, short height, DWORD ex_style);

    std::vector<WORD> words;
};
