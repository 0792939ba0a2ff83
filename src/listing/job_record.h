// A job on a worker thread: what the host's thread hands over, and what the
// worker writes back.  Shared by the host's threads that wait for it, by the
// queue or the worker that has it, and freed by whichever lets it go last.
#pragma once
#include <windows.h>
#include "common/qv_item_list.h"
#include "listing/folder_listing.h"
#include "listing/folder_path.h"
#include "listing/kept_listings.h"

enum job_kind { job_list_folder, job_resolve_shortcut };

struct qv_job;
// What a worker does with a job: `run` reads the drive, and returns false
// when the job went back to a queue (job_scheduler.h) and is not finished;
// `after`, for a finished job, runs once no host can join it any more.
// The job's `done` is set after both.
struct qv_job_steps {
    bool (*run)(qv_job *job);
    void (*after)(qv_job *job);
};

struct qv_job {
    LONG refs;
    // Hosts that wait for the listing or hold it for a menu: once none does,
    // the worker looks up no more pictures, and a job still queued is
    // dropped unless its listing is to be kept.
    volatile LONG wanted;
    job_kind kind;
    const qv_job_steps *steps;
    HANDLE done;  // set when the worker has finished
    WCHAR path[MAX_PATH];
    qv_listing_rules rules;
    DWORD attributes;  // the item's from its parent's listing, if known

    // The scheduler's, under its lock.
    WCHAR volume[QV_FOLDER_FORM_CHARS];  // where the job's workers are counted
    bool started;                        // a worker took it
    bool dropped;                        // left the queue without being run
    qv_job *next_queued;                 // in its volume's queue

    // Written by the worker and read by the host, under `lock`.
    SRWLOCK lock;
    bool known;      // the item's attributes, or the shortcut, were read
    bool is_folder;
    bool closed;     // a folder that must not be opened: "." alone
    bool target_read;
    WCHAR target[MAX_PATH];
    qv_folder_stamp stamp;   // the folder's, before it was listed
    qv_listing_share share;  // the listing is complete
    qv_item_list list;
    bool abandoned;  // a host took a part and left the rest to be kept
    bool recheck;    // shown from a kept listing that the worker reads again
};
