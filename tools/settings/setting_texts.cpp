#include "setting_texts.h"
#include <string.h>

namespace {

// Mnemonics in use elsewhere in the window: A (Apply), R (Reset), U (for all users).
const setting_text texts[] = {
    {"OnlyAllowedOnDesktop", kind_check, L"Only for items on the &desktop",
     L"Offer the launcher only for items that lie directly on the desktop.", {}},
    {"MaxMenuItems", kind_number, L"&Most names listed:",
     L"The list stops after this many names plus one, then \".\" opens the folder.", {}},
    {"HideItemNormalOnDesktop", kind_check, L"Drop Explorer's own &entries",
     L"Leave them out instead of moving them into \"| NORMAL |\".", {}},
    {"HideItemNormalOnExplorer", kind_check, L"&Hide Explorer's entries in folder windows",
     L"Read, but without effect on any menu (kept for older settings files).", {}},
    {"HideItemLogo", kind_check, L"Hide the &logo entry",
     L"No \"| quorvane-shellex-3.0 |\" entry at the end of the menu.", {}},
    {"HideItemDotDot", kind_check, L"Hide \"..\" for &shortcuts",
     L"No \"..\" entry in the menu of a shortcut's target folder.", {}},
    {"HideFileExtension", kind_choice, L"File name e&xtensions:",
     L"How the names of files are shown in the menu.",
     {L"Show every extension", L"Hide only .lnk", L"Hide every extension"}},
    {"ListingTimeLimit", kind_number, L"&Wait for a listing (ms):",
     L"After this time the menu shows what it found so far; 0: no limit.", {}},
    {"CascadeFolders", kind_check, L"Sub-&folders as submenus",
     L"A sub-folder's entry opens a submenu listing it, instead of a window.", {}},
    {"SortEntries", kind_check, L"Sort as Explorer does (f&olders first)",
     L"Folders first, then names in Explorer's order; off: the folder's own order.", {}},
};

}  // namespace

setting_text setting_text_for(const char *value_name)
{
    for (const setting_text &text : texts)
        if (strcmp(text.value_name, value_name) == 0)
            return text;
    return setting_text{value_name, kind_number, nullptr, L"", {}};
}
