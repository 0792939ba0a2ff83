// Jobs on worker threads: the host's thread hands a job over, or joins one
// that runs for the same item, waits for it up to its deadline, and takes
// what is there.  A job is shared by the host's threads that wait for it and
// its worker, and freed by whichever lets it go last; the worker never
// touches the extension object, which the host may release at any time.
#include "listing/listing_job.h"
#include <string.h>
#include <wchar.h>
#include "listing/first_touch.h"
#include "listing/folder_path.h"
#include "listing/job_scheduler.h"
#include "listing/kept_listings.h"
#include "listing/known_pictures.h"
#include "listing/shortcut.h"
#include "listing/volume_identity.h"

// A listing shown from a kept copy on a volume where listing again costs
// too much is read again after the host had it: when the folder's items
// changed, the new listing is kept in its place, for the next right-click.
static void recheck_kept(qv_job *job, const qv_folder_stamp *stamp)
{
    static const volatile LONG nobody = 0;  // no own picture is looked up
    SRWLOCK lock = SRWLOCK_INIT;
    qv_listing_share share = {};
    share.lock = &lock;
    share.wanted = &nobody;
    share.known = &job->list;
    qv_item_list fresh = {};
    list_folder(&fresh, job->path, &job->rules, &share);
    if (!share.failed && fresh.entries && !same_items(&fresh, &job->list)) {
        kept_listing_store(job->path, &job->rules, stamp, &fresh);
        // The stale copy is not kept again over it.
        AcquireSRWLockExclusive(&job->lock);
        job->abandoned = false;
        ReleaseSRWLockExclusive(&job->lock);
    }
    list_clear(&fresh);
}

static bool list_job(qv_job *job)
{
    // A drive letter mapped to a server counts as that server, found before
    // the server is reached: a full server's request waits its turn.
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    if (find_mapped_volume(job->path, volume) && !job_found_volume(job, volume))
        return false;
    qv_first_touch touch;
    touch_folder(job->path, job->attributes, &touch);
    AcquireSRWLockExclusive(&job->lock);
    job->known = true;
    job->is_folder = touch.is_folder;
    job->closed = touch.is_folder && !touch.enumerate;
    job->stamp = touch.stamp;
    job->share.complete = !touch.enumerate;
    ReleaseSRWLockExclusive(&job->lock);
    if (!touch.enumerate)
        return true;

    // A kept listing of the unchanged folder: on a quick local disk it only
    // lends its pictures to a new listing, which shows what became hidden,
    // was renamed or changed between file and folder without moving the
    // folder's times; elsewhere it is shown at once and checked after.
    qv_item_list kept = {};
    bool have_kept = kept_listing_copy(job->path, &job->rules, &touch.stamp, &kept);
    if (have_kept && !touch.quick) {
        AcquireSRWLockExclusive(&job->lock);
        job->list = kept;
        job->share.listed = true;
        ReleaseSRWLockExclusive(&job->lock);
        // The pictures it was kept without, if still wanted; it is kept
        // again with those it gains.
        bool missing = false;
        for (UINT64 i = 0; i < job->list.entry_count; i++)
            missing = missing || job->list.entries[i].icon_kind == qv_icon_type_for_now;
        list_own_pictures(&job->list, job->path, &job->rules, &job->share);
        AcquireSRWLockExclusive(&job->lock);
        job->abandoned = job->abandoned || missing;
        job->share.complete = true;
        ReleaseSRWLockExclusive(&job->lock);
        SetEvent(job->done);
        recheck_kept(job, &touch.stamp);
        return true;
    }
    job->share.known = have_kept ? &kept : NULL;
    list_folder(&job->list, job->path, &job->rules, &job->share);
    AcquireSRWLockExclusive(&job->lock);
    job->share.known = NULL;
    ReleaseSRWLockExclusive(&job->lock);
    list_clear(&kept);
    return true;
}

static bool resolve_job(qv_job *job)
{
    WCHAR target[MAX_PATH];
    wcscpy(target, job->path);
    // A shortcut that is itself only in the cloud would be fetched.
    DWORD attributes = GetFileAttributesW(target);
    bool read = attributes == INVALID_FILE_ATTRIBUTES || item_may_be_opened(attributes);
    if (read)
        ConvertShortcutTarget(target);
    AcquireSRWLockExclusive(&job->lock);
    wcscpy(job->target, target);
    job->target_read = read;
    job->known = true;
    ReleaseSRWLockExclusive(&job->lock);
    return true;
}

// A listing that a host left unfinished is kept once it is complete, unless
// it ended in an error.  The job has left the table: no host joins it any
// more, and one that still holds it only copies from it.
static void keep_abandoned(qv_job *job)
{
    qv_item_list kept = {};
    AcquireSRWLockExclusive(&job->lock);
    bool keep = job->abandoned && job->share.complete && !job->share.failed && !job->closed && job->list.entries;
    if (keep && job->refs == 1) {
        kept = job->list;
        memset(&job->list, 0, sizeof(job->list));
    } else if (keep) {
        list_copy_listing(&kept, &job->list, job->list.entry_count);
    }
    ReleaseSRWLockExclusive(&job->lock);
    if (kept.entries)
        kept_listing_store(job->path, &job->rules, &job->stamp, &kept);
}

static void nothing_after(qv_job *)
{
}

static const qv_job_steps g_list_steps = {list_job, keep_abandoned};
static const qv_job_steps g_resolve_steps = {resolve_job, nothing_after};

qv_deadline deadline_after(DWORD limit_ms)
{
    qv_deadline deadline = {limit_ms == 0, GetTickCount64() + limit_ms};
    return deadline;
}

static DWORD time_left(const qv_deadline &deadline)
{
    ULONGLONG now = GetTickCount64();
    return deadline.at > now ? (DWORD)(deadline.at - now) : 0;
}

// Runs a job for `path` until `deadline`: without a limit on the calling
// thread, else on a worker, joined, new or queued.  Null when the queues
// are full.
static qv_job *run_until(job_kind kind, const WCHAR *path, const qv_listing_rules *rules, DWORD attributes,
                         const qv_deadline &deadline)
{
    const qv_job_steps *steps = kind == job_list_folder ? &g_list_steps : &g_resolve_steps;
    if (deadline.none) {
        qv_job *job = new_job(kind, steps, path, rules, attributes);
        if (job)
            steps->run(job);
        return job;
    }
    qv_job *job = schedule_job(kind, steps, path, rules, attributes);
    if (job)
        WaitForSingleObject(job->done, time_left(deadline));
    return job;
}

// The complete listing of `job` for a host listing by `rules`: taken over
// when no one else can see it and its icons keep to the rules' bound,
// else copied.
static void take_whole(qv_job *job, const qv_listing_rules *rules, qv_item_list *out)
{
    if (job->refs == 1 && job->rules.icons <= rules->icons) {
        *out = job->list;
        memset(&job->list, 0, sizeof(job->list));
    } else {
        list_copy_listing(out, &job->list, rules->icons);
    }
}

void listing_let_go(qv_job *job)
{
    if (!job)
        return;
    InterlockedDecrement(&job->wanted);
    release_job(job);
}

UINT64 listing_take_pictures(qv_job *job, qv_item_list *list, bool *done)
{
    UINT64 changed = 0;
    AcquireSRWLockExclusive(&job->lock);
    *done = job->share.complete;
    const qv_item_list *found = &job->list;
    if (job->share.listed && found->entries && found->entry_count == list->entry_count) {
        for (UINT64 i = 0; i < list->entry_count; i++) {
            qv_entry *entry = &list->entries[i];
            if (entry->icon_kind != qv_icon_type_for_now || found->entries[i].icon_kind != qv_icon_own ||
                wcscmp(list_name(list, i), list_name(found, i)) != 0)
                continue;
            if (found->entries[i].icon != QV_NO_ICON)
                entry->icon = found->entries[i].icon;
            entry->icon_kind = qv_icon_own;
            changed++;
        }
    }
    ReleaseSRWLockExclusive(&job->lock);
    return changed;
}

qv_listing_outcome list_in_time(const WCHAR *folder, DWORD attributes, const qv_listing_rules *rules,
                                const qv_deadline &deadline, qv_item_list *out, qv_job **hold)
{
    if (hold)
        *hold = NULL;
    kept_listings_expire();
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !item_may_be_opened(attributes)) {
        list_dot_alone(out);
        return qv_listing_listed;
    }
    qv_job *job = run_until(job_list_folder, folder, rules, attributes, deadline);
    if (!job) {
        kept_listing_copy(folder, rules, NULL, out);
        return qv_listing_no_worker;
    }

    qv_listing_outcome outcome = qv_listing_listed;
    AcquireSRWLockExclusive(&job->lock);
    if (!job->known && (!job->started || job->dropped)) {
        // Still waiting for a worker: what is kept of the folder, if
        // anything, unchecked; the listing is kept once a worker made it.
        outcome = qv_listing_no_worker;
        job->abandoned = true;
    } else if (!job->known) {
        outcome = qv_listing_unknown;
        job->abandoned = true;  // still kept once it is listed
    } else if (!job->is_folder) {
        outcome = qv_listing_not_folder;
    } else if (job->closed) {
        list_dot_alone(out);
    } else if (job->share.complete) {
        take_whole(job, rules, out);
        if (job->share.failed)
            outcome = qv_listing_partial;  // cut short by an error: worth another try
    } else if (job->share.listed) {
        // Every name, with its own picture or, for now, its type's.
        list_copy_listing(out, &job->list, rules->icons);
        job->abandoned = true;  // kept once its pictures are in
        if (job->share.failed)
            outcome = qv_listing_partial;
    } else {
        list_copy_part(out, &job->list, rules);
        job->abandoned = true;
        outcome = qv_listing_partial;
    }
    bool running = !job->share.complete;
    ReleaseSRWLockExclusive(&job->lock);
    if (outcome == qv_listing_no_worker)
        kept_listing_copy(folder, rules, NULL, out);
    if (hold && running && (outcome == qv_listing_listed || outcome == qv_listing_partial))
        *hold = job;  // still wanted while the menu that shows it lives
    else
        listing_let_go(job);
    return outcome;
}

bool resolve_shortcut_in_time(WCHAR *path, const qv_deadline &deadline)
{
    qv_job *job = run_until(job_resolve_shortcut, path, NULL, INVALID_FILE_ATTRIBUTES, deadline);
    if (!job)
        return false;
    AcquireSRWLockExclusive(&job->lock);
    bool resolved = job->known && job->target_read;
    if (resolved)
        wcscpy(path, job->target);
    ReleaseSRWLockExclusive(&job->lock);
    listing_let_go(job);
    return resolved;
}

