// Workers and their queues: every job that reads a drive runs on a worker
// thread of the module.  Workers are counted per volume, the server or
// device that answers for a path (volume_identity.h): a dead volume holds at
// most two of them, and the other volumes keep the rest.  Requests beyond a
// volume's workers wait in its queue, first come first served.  This file
// owns the running jobs, the queues and the workers.
#pragma once
#include <windows.h>
#include "listing/job_record.h"

// Workers alive at once in the process, and on one volume.
#define QV_MAX_WORKERS 16
#define QV_MAX_VOLUME_WORKERS 2
// Requests waiting at once on one volume, and in the process.  A request
// beyond these is not taken: its right-click does with what is kept.
#define QV_MAX_VOLUME_QUEUE 16
#define QV_MAX_QUEUED 64

// A new job, with one reference (the caller's) and one who wants it; null
// when out of memory.  `rules` may be null.
qv_job *new_job(job_kind kind, const qv_job_steps *steps, const WCHAR *path, const qv_listing_rules *rules, DWORD attributes);
// Drops a reference; the last one frees the job.
void release_job(qv_job *job);

// The job for the same item, running or queued, joined (the caller holds a
// reference and counts among those who want it); else a new job, started
// on a worker when its volume and the process have one to spare, else put
// at the end of its volume's queue.  Null when the queues are full too.
qv_job *schedule_job(job_kind kind, const qv_job_steps *steps, const WCHAR *path, const qv_listing_rules *rules,
                     DWORD attributes);

// Called by the worker of `job` when it found the volume that answers for
// it: the job is counted there from now on.  When that volume has no
// worker to spare, the job goes to the head of its queue and the call
// returns false: the worker must leave it.
bool job_found_volume(qv_job *job, const WCHAR *volume);

// Workers running now (each keeps the module loaded until it ends), and
// requests waiting in the queues.
LONG listing_workers();
LONG listing_requests_queued();
