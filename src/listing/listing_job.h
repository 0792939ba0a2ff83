// Work that reads the selected item's drive, done on a worker thread of the
// module while the host's thread waits for it no longer than the time limit.
// A drive that is slow, remote, asleep or gone holds up the worker, never
// the shell.  This file owns the workers.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"
#include "listing/folder_listing.h"

// Workers alive at once in the process: a right-click that would need
// another one does without.
#define QV_MAX_WORKERS 4

// What the host's thread learnt of a folder within its time.
enum qv_listing_outcome {
    qv_listing_unknown,     // not yet known whether the item is a folder at all
    qv_listing_not_folder,  // no folder (a file, or gone)
    qv_listing_listed,      // a folder: its whole listing
    qv_listing_partial,     // a folder: its listing as far as it got, then "."
    qv_listing_no_worker,   // every worker is busy: nothing was read
};

// Lists `folder` by `rules` on a worker and waits for it at most `limit_ms`
// (0: no limit, and then the calling thread lists it itself, as it takes as
// long anyway).  On qv_listing_listed `out` (empty) holds the whole listing;
// on qv_listing_partial the entries found so far followed by "." (which
// opens the folder); a cloud folder that would be fetched by its
// enumeration gives "." alone.  A listing that overruns goes on to its end and
// is kept for the next right-click (kept_listings.h); a kept listing of the
// unchanged folder is handed out at once.
qv_listing_outcome list_in_time(const WCHAR *folder, const qv_listing_rules *rules, DWORD limit_ms,
                                qv_item_list *out);

// Resolves the shortcut `path` (a MAX_PATH buffer) as ConvertShortcutTarget
// does, on a worker, waiting at most `limit_ms` (0: no limit, on the calling
// thread).  Returns false,
// with `path` unchanged, when the shortcut was not read in time or no worker
// was free.
bool resolve_shortcut_in_time(WCHAR *path, DWORD limit_ms);

// Workers running now; each keeps the module loaded until it ends.
LONG listing_workers();
