// The first access to a folder that is to be listed: what it is, read from
// the item itself (never by a search of its parent folder), and whether and
// how it may be listed.
#pragma once
#include <windows.h>
#include "listing/kept_listings.h"

struct qv_first_touch {
    bool is_folder;
    bool enumerate;  // a folder that may be opened, and was: `stamp` is read
    qv_folder_stamp stamp;
    bool quick;  // on a local fixed drive that answered at once: listing it again costs little
};

// Reads `path`'s attributes (unless `attributes`, from its parent's listing,
// gives them) and, for a folder that may be opened, its stamp through a
// handle opened for attributes alone, which fetches nothing from the
// cloud.  A link's destination volume is remembered (volume_identity.h).
void touch_folder(const WCHAR *path, DWORD attributes, qv_first_touch *touch);
