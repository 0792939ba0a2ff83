// Listing of a folder into an item list.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"

// Most entries of one listing whose icon is looked up, and most distinct
// pictures the menus of one right-click show.  Each picture is a GDI object
// of its own, and Windows gives a process 10,000 of them in all (the shell's
// own windows share that quota); a folder listed with MaxMenuItems raised
// must not exhaust it.  Entries beyond the first 1,000 are listed without an
// icon, which also spares their icon lookups.
#define QV_MAX_PICTURES 1000

// Longest folder path that is listed: leaves room for "\*" and a name.
#define QV_MAX_LISTED_PATH 244

// Cloud placeholders and offline files: reading them, even for an icon,
// fetches them.  Not in every SDK's headers.
#define QV_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#define QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000

// What a listing takes besides the folder.
struct qv_listing_rules {
    UINT64 max_names;    // names listed before a "." entry stands for the rest
    bool show_dot_dot;   // ".." is listed (the target folder of a shortcut)
    UINT64 pictures;     // entries, from the first, whose icon is looked up
};

// A listing read by another thread while it grows: every change to the list
// is made under `lock`, and `complete` turns true, under it too, once the
// sentinel is in place.  The slow work, the file system's, is done outside.
struct qv_listing_share {
    SRWLOCK *lock;
    bool complete;
};

// The rules of a listing for `config` and a selection that was (or was not)
// a shortcut, before any bound on identifiers.
qv_listing_rules listing_rules(const struct qv_config *config, DWORD is_lnk);

// Whether the small icon of an item with these enumeration attributes may be
// read from the item itself.  Offline files and cloud placeholders get the
// icon of their type instead, which never opens them.
bool icon_reads_item(DWORD attributes);
// The index of the small shell icon of `path` in the system image list, or
// QV_NO_ICON: where the shell's own icon of the item comes from, with no icon
// handle made.  An item whose enumeration attributes say it must not be
// opened gets the icon of its type, from its name and attributes alone.
int item_icon(const WCHAR *path, DWORD attributes);
// What the listing calls for each icon: item_icon, or a test's stand-in.
extern int (*g_icon_lookup)(const WCHAR *path, DWORD attributes);

// Whether a folder with these attributes may be enumerated: a cloud folder
// whose contents are fetched on access is not.
bool folder_may_be_enumerated(DWORD attributes);

// Fills `list`, which the caller has cleared, from the folder `dir` (at most
// 244 characters): the visible items in enumeration order, each of the first
// rules->pictures with its icon, ended by "." past rules->max_names
// and by the sentinel.  `share` may be null.
void list_folder(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules, qv_listing_share *share);

// Ends a listing with its uncounted sentinel record, so that the last counted
// name ends at entries[entry_count].name_offset - 1.  When the empty name
// cannot be appended, a spare record becomes the sentinel, or else the last
// entry is dropped to make room; entry_count never wraps.
void list_finish(qv_item_list *list);
