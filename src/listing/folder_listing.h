// Listing of a folder into an item list.
#pragma once
#include <windows.h>
#include <shlobj.h>
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

// Cloud placeholders and offline files: opening them, even for an icon or a
// listing, fetches them.  Not in every SDK's headers.
#define QV_ATTRIBUTE_RECALL_ON_OPEN 0x00040000
#define QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS 0x00400000

// What a listing takes besides the folder.
struct qv_listing_rules {
    UINT64 max_names;    // names listed before a "." entry stands for the rest
    bool show_dot_dot;   // ".." is listed (the target folder of a shortcut)
    UINT64 icons;        // entries, from the first, whose icon is looked up
    bool sort;           // folders first, then names as Explorer orders them
};

// A listing read by another thread while it grows: every change to the list
// is made under `lock`, and `complete` turns true, under it too, once the
// sentinel is in place.  The slow work, the file system's, is done outside.
struct qv_listing_share {
    SRWLOCK *lock;
    bool listed;    // every name is in place, the sentinel too: only pictures still change
    bool complete;  // the pictures too, as far as they were wanted
    bool failed;    // the folder could not be read to its end: never kept
    // Those who may still take the listing; once none does (null: always
    // some), items' own pictures are no longer looked up.
    const volatile LONG *wanted;
    // An earlier listing of the folder, whose own pictures are taken for
    // the unchanged items instead of being looked up again; may be null.
    const qv_item_list *known;
};

// The rules of a listing for `config` and a selection that was (or was not)
// a shortcut, before any bound on identifiers.
qv_listing_rules listing_rules(const struct qv_config *config, DWORD is_lnk);

// Whether an item with these enumeration attributes may be opened: to read
// its icon, a shortcut in it, or, for a folder, its listing.  Offline items
// and cloud placeholders may not: they get the icon of their type, and such a
// folder gets "." alone.
bool item_may_be_opened(DWORD attributes);
// Whether two listings of one folder by these rules hold the same entries
// (icons aside).
bool same_listing_rules(const qv_listing_rules *a, const qv_listing_rules *b);

// Fills `list`, which the caller has cleared, from the folder `dir` (at most
// 244 characters), in two steps.  First the names: the visible items in
// enumeration order (in Explorer's with rules->sort), each of the first
// rules->icons with its type's picture (item_pictures.h), ended by "." past
// rules->max_names and by the sentinel; `share` is then marked listed.
// Sorted, `list` holds, while the folder is read, the first names found so
// far in order, never more than rules->max_names and ".", renewed every few
// milliseconds.  Then, while someone wants them, the own pictures of those
// entries (list_own_pictures).  A folder that cannot be opened gives an empty list
// without sentinel; an enumeration that fails midway gives what it found,
// then ".".  Either marks `share` failed.  `share` may be null.
void list_folder(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules, qv_listing_share *share);
// Looks up, for the first rules->icons entries of the listing `list` of
// `dir` that still show their type's picture for want of their own, their
// own picture, one after the other; stops at the next entry once
// share->wanted drops to 0.  Entries whose own picture is known are skipped.
void list_own_pictures(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules,
                       qv_listing_share *share);

// Copies the listing `from` (ended by its sentinel) into `out` (empty), with
// icons for its first `icons` entries only.  False, with `out` empty,
// when it cannot be copied whole.
bool list_copy_listing(qv_item_list *out, const qv_item_list *from, UINT64 icons);
// Copies into `out` (empty) the part of a listing found so far, `from`, as it
// is shown when the time is up: in its own order (a sorted listing is in
// order as it grows), within rules->max_names, icons for the first
// rules->icons only, then "." for the rest.  Nothing is sorted here.
void list_copy_part(qv_item_list *out, const qv_item_list *from, const qv_listing_rules *rules);

// A folder's listing when nothing of it could be read: "." alone, which
// opens it, then the sentinel.
void list_dot_alone(qv_item_list *list);

// Ends a listing with its uncounted sentinel record, so that the last counted
// name ends at entries[entry_count].name_offset - 1.  When the empty name
// cannot be appended, a spare record becomes the sentinel, or else the last
// entry is dropped to make room; entry_count never wraps.
void list_finish(qv_item_list *list);
