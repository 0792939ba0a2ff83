// Listings that overran the time limit, finished in the background and kept
// for a short while, so that the next right-click on the same unchanged
// folder shows them at once.  Process-wide; this file owns them.  They hold
// names and icon indices, no GDI object.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"
#include "listing/folder_listing.h"

// Folders kept at once; the oldest goes first.
#define QV_KEPT_LISTINGS 4

// What shows that a folder is still as it was listed: its last-write time,
// which moves when an item is added, removed or renamed in it, and its
// change time, which moves also when the folder itself is renamed or moved
// (renamed away and back, it may hold something else by then).  A FAT or
// exFAT root keeps no times: the volume's serial number tells another stick
// in the same drive.
struct qv_folder_stamp {
    FILETIME write_time;
    LARGE_INTEGER change_time;
    DWORD volume_serial;  // a root's, else 0
};

// Reads the attributes and stamp of the folder opened as `handle` (for its
// attributes alone, which reads none of its contents), a volume's `root` or
// not; false when it cannot.
bool read_folder_stamp(HANDLE handle, bool root, DWORD *attributes, qv_folder_stamp *stamp);

// How long a listing is kept, in milliseconds (about a minute); a seam for
// tests.
extern DWORD g_kept_listing_ms;

// Copies into `out` (empty) the listing kept for `folder` listed by `rules`,
// when the folder's stamp is still `stamp`; a kept listing of that folder
// with another stamp is stale and goes.  With a null `stamp`, the listing
// kept is copied as it is, unchecked (its folder could not be read).  Entries past rules->icons are
// copied without their icon.  Returns whether it copied.
bool kept_listing_copy(const WCHAR *folder, const qv_listing_rules *rules, const qv_folder_stamp *stamp,
                       qv_item_list *out);
// Keeps the complete listing `list` of `folder` with the stamp the folder
// had before it was listed, taking it over (`list` is left empty).  The
// oldest goes to stay within QV_KEPT_LISTINGS folders.
void kept_listing_store(const WCHAR *folder, const qv_listing_rules *rules, const qv_folder_stamp *stamp,
                        qv_item_list *list);
// Drops the listings kept longer than g_kept_listing_ms.
void kept_listings_expire();
// Drops every kept listing (the module is unloaded).
void kept_listings_drop_all();
