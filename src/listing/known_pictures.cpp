// Matching a listing against an earlier one of the same folder.
#include "listing/known_pictures.h"
#include <wchar.h>
#include "listing/folder_listing.h"

// The attributes that change what an entry is or shows; the archive bit and
// the like change with every write and decide nothing.
static DWORD shown_attributes(DWORD attributes)
{
    return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_REPARSE_POINT |
                         QV_ATTRIBUTE_RECALL_ON_OPEN | QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS);
}

static bool same_entry(const qv_item_list *a, UINT64 i, const qv_item_list *b, UINT64 j)
{
    return shown_attributes(a->entries[i].attributes) == shown_attributes(b->entries[j].attributes) &&
           wcscmp(list_name(a, i), list_name(b, j)) == 0;
}

bool same_items(const qv_item_list *a, const qv_item_list *b)
{
    if (a->entry_count != b->entry_count)
        return false;
    for (UINT64 i = 0; i < a->entry_count; i++) {
        if (!same_entry(a, i, b, i))
            return false;
    }
    return true;
}

bool reuse_known_picture(qv_item_list *list, UINT64 i, const qv_item_list *known, UINT64 *cursor)
{
    UINT64 count = known->entry_count;
    for (UINT64 step = 0; step < count; step++) {
        UINT64 j = (*cursor + step) % count;
        if (!same_entry(list, i, known, j))
            continue;
        *cursor = j + 1;
        if (known->entries[j].icon_kind != qv_icon_own)
            return false;
        list->entries[i].icon = known->entries[j].icon;
        list->entries[i].icon_kind = qv_icon_own;
        return true;
    }
    return false;
}
