// Work that reads the selected item's drive, done on a worker thread of the
// module while the host's thread waits for it no longer than the time limit.
// A drive that is slow, remote, asleep or gone holds up the worker, never
// the shell.  This file makes the jobs and takes their results; the workers
// and their queues are job_scheduler.h's.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"
#include "listing/folder_listing.h"
#include "listing/job_scheduler.h"

// When the host's thread stops waiting: at `at` (GetTickCount64), or, with
// `none`, never (there is no limit: it then does the work itself, as that
// takes as long anyway).  One right-click has one deadline for everything it
// waits for.
struct qv_deadline {
    bool none;
    ULONGLONG at;
};
// The deadline `limit_ms` from now; 0: none.
qv_deadline deadline_after(DWORD limit_ms);

// What the host's thread learnt of a folder within its time.
enum qv_listing_outcome {
    qv_listing_unknown,     // not yet known whether the item is a folder at all
    qv_listing_not_folder,  // no folder (a file, or gone)
    qv_listing_listed,      // a folder: its whole listing
    qv_listing_partial,     // a folder: its listing as far as it got, then "."
    qv_listing_no_worker,   // waiting for a worker of its volume, or none could be had: nothing
                            // was read, and the listing holds what is kept of the folder, if anything
};

// Lists `folder` by `rules` on a worker and waits for it until `deadline`.
// A listing of the same folder by the same rules that is still running or
// waiting for a worker is joined, never started twice.  On qv_listing_listed `out` (empty) holds the
// whole listing; on qv_listing_partial the entries found so far followed by
// "." (which opens the folder).  `attributes` are the folder's as its
// parent's listing gave them, or INVALID_FILE_ATTRIBUTES when they are not
// known (the worker then asks): a folder that must not be opened (offline,
// or fetched from the cloud when opened) gives "." alone and is never read.
// A listing that overruns, or that waited for a worker past the deadline,
// goes on to its end and is kept for the next right-click (kept_listings.h),
// unless it ended in an error.  A kept listing of the unchanged folder lends
// its pictures to a new listing on a quick local disk, and elsewhere is
// handed out at once and read again behind it: a right-click never shows an
// item hidden, removed or renamed before it on a local disk, and on another
// at most one right-click later.
// Once every name is listed, the listing is whole (qv_listing_listed) even
// when some entries still show their type's picture for want of their own.
// The worker looks those up only while someone waits for the listing or
// holds it: with `hold`, a listing whose worker still runs is held in
// *hold (else null) for the menu that shows it, until listing_let_go; once
// nobody waits or holds, it stops at the next entry, and what it has is kept.
struct qv_job;
qv_listing_outcome list_in_time(const WCHAR *folder, DWORD attributes, const qv_listing_rules *rules,
                                const qv_deadline &deadline, qv_item_list *out, qv_job **hold = NULL);
// Lets go of a listing held by list_in_time; null is ignored.
void listing_let_go(qv_job *job);
// Copies into `list`, the copy of the held listing that list_in_time gave,
// the own pictures its worker has found since for entries that still show
// their type's; returns how many entries changed, and sets *done once no
// more will come.
UINT64 listing_take_pictures(qv_job *job, qv_item_list *list, bool *done);

// Resolves the shortcut `path` (a MAX_PATH buffer) as ConvertShortcutTarget
// does, on a worker, waiting until `deadline`.  A shortcut that is itself
// offline or only in the cloud is not read.  Returns false, with `path`
// unchanged, when the shortcut was not read in time, not read at all, or no
// worker was free.
bool resolve_shortcut_in_time(WCHAR *path, const qv_deadline &deadline);

