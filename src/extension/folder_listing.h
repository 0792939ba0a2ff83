// Listing of a folder into the object's item list.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"

class qv_shellex;

// Most entries of one listing that get a picture.  Each picture is a GDI
// object of its own, and Windows gives a process 10,000 of them in all (the
// shell's own windows share that quota); a folder listed with MaxMenuItems
// raised must not exhaust it.  Entries beyond the first 1,000 are listed
// without a picture, which also spares their icon lookups.
#define QV_MAX_PICTURES 1000

// Fills ext->list, which the caller has cleared, from the folder `dir`
// (at most 244 characters), with one menu bitmap for each of the first
// QV_MAX_PICTURES items.
void list_directory(qv_shellex *ext, const WCHAR *dir);

// Ends a listing with its uncounted sentinel record, so that the last counted
// name ends at entries[entry_count].name_offset - 1.  When the empty name
// cannot be appended, a spare record becomes the sentinel, or else the last
// entry is dropped to make room; entry_count never wraps.
void list_finish(qv_item_list *list);
