#include "setting_texts.h"
#include <string.h>
#include "common/qv_config.h"

namespace {

// Mnemonics in use elsewhere in the window: A (Apply), R (Reset), U (for all users).
const setting_text texts[] = {
    {"OnlyAllowedOnDesktop", kind_check, L"Only for items on the &desktop",
     L"Offer the launcher only for items that lie directly on the desktop.", {}, 1},
    {"MaxMenuItems", kind_number, L"&Most names listed:",
     L"The list stops after this many names plus one, then \".\" opens the folder.", {}, 0xFFFFFFFF},
    {"HideItemNormalOnDesktop", kind_check, L"Drop Explorer's own &entries",
     L"Leave them out instead of moving them into \"| NORMAL |\".", {}, 1},
    // Read for older settings files, but no menu consults it: no row.
    {"HideItemNormalOnExplorer", kind_hidden, nullptr, L"", {}, 1},
    {"HideItemLogo", kind_check, L"Hide the &logo entry",
     L"No \"| quorvane-shellex-3.0 |\" entry at the end of the menu.", {}, 1},
    {"HideItemDotDot", kind_check, L"Hide \"..\" for &shortcuts",
     L"No \"..\" entry in the menu of a shortcut's target folder.", {}, 1},
    {"HideFileExtension", kind_choice, L"File name e&xtensions:",
     L"How the names of files are shown in the menu.",
     {L"Show every extension", L"Hide only .lnk", L"Hide every extension"}, 2},
    {"ListingTimeLimit", kind_number, L"&Wait for a listing (ms):",
     L"Then the menu shows what it found so far; 0 to 5,000, 0: no limit.", {}, QV_MAX_LISTING_TIME_LIMIT},
    {"CascadeFolders", kind_check, L"Sub-&folders as submenus",
     L"A sub-folder's entry opens a submenu listing it, instead of a window.", {}, 1},
    {"SortEntries", kind_check, L"Sort as Explorer does (f&olders first)",
     L"Folders first, then names in Explorer's order; off: the folder's own order.", {}, 1},
};

}  // namespace

setting_text setting_text_for(const char *value_name)
{
    for (const setting_text &text : texts)
        if (strcmp(text.value_name, value_name) == 0)
            return text;
    return setting_text{value_name, kind_number, nullptr, L"", {}, 0xFFFFFFFF};
}
