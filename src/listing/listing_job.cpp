// Jobs on worker threads: the host's thread hands a job over, or joins one
// that runs for the same item, waits for it up to its deadline, and takes
// what is there.  A job is shared by the host's threads that wait for it and
// its worker, and freed by whichever lets it go last; the worker never
// touches the extension object, which the host may release at any time.
#include "listing/listing_job.h"
#include <objbase.h>
#include <string.h>
#include <wchar.h>
#include "listing/folder_path.h"
#include "listing/kept_listings.h"
#include "listing/shortcut.h"

enum job_kind { job_list_folder, job_resolve_shortcut };

struct qv_job {
    LONG refs;
    // Hosts that wait for the listing or hold it for a menu: once none does,
    // the worker looks up no more pictures.
    volatile LONG wanted;
    job_kind kind;
    HANDLE done;  // set when the worker has finished
    WCHAR path[MAX_PATH];
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    qv_listing_rules rules;
    DWORD attributes;  // the item's from its parent's listing, if known

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
};

static LONG volatile g_workers;
// The module the workers run in; each worker holds a reference to it.
static HMODULE g_worker_module;
// The jobs whose worker runs, under g_jobs_lock: joined by a host that asks
// for the same, and counted per volume.
static SRWLOCK g_jobs_lock = SRWLOCK_INIT;
static qv_job *g_running[QV_MAX_WORKERS];

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

static void release_job(qv_job *job)
{
    if (InterlockedDecrement(&job->refs) != 0)
        return;
    list_clear(&job->list);
    if (job->done)
        CloseHandle(job->done);
    HeapFree(GetProcessHeap(), 0, job);
}

static qv_job *new_job(job_kind kind, const WCHAR *path, const qv_listing_rules *rules, DWORD attributes)
{
    qv_job *job = (qv_job *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(qv_job));
    if (!job)
        return NULL;
    job->refs = 1;
    job->wanted = 1;
    job->kind = kind;
    wcsncpy(job->path, path, MAX_PATH - 1);
    volume_of(job->path, job->volume);
    if (rules)
        job->rules = *rules;
    job->attributes = attributes;
    InitializeSRWLock(&job->lock);
    job->share.lock = &job->lock;
    job->share.wanted = &job->wanted;
    job->done = CreateEventW(NULL, TRUE, FALSE, NULL);
    if (!job->done) {
        release_job(job);
        return NULL;
    }
    return job;
}

static void list_job(qv_job *job)
{
    WCHAR folder[QV_FOLDER_FORM_CHARS];
    folder_form(job->path, folder);
    // Only the parent's listing tells a cloud folder that opening fetches:
    // it is asked first, and such a folder is never opened.
    DWORD attributes = job->attributes;
    if (attributes == INVALID_FILE_ATTRIBUTES)
        attributes = enumeration_attributes(folder);
    bool may_open = attributes == INVALID_FILE_ATTRIBUTES || item_may_be_opened(attributes);
    qv_folder_stamp stamp = {};
    bool opened = may_open && read_folder_stamp(folder, &attributes, &stamp);
    bool is_folder = (opened || !may_open) && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    bool enumerate = is_folder && opened && item_may_be_opened(attributes);
    AcquireSRWLockExclusive(&job->lock);
    job->known = true;
    job->is_folder = is_folder;
    job->closed = is_folder && !enumerate;
    job->stamp = stamp;
    job->share.complete = !enumerate;
    ReleaseSRWLockExclusive(&job->lock);
    if (!enumerate)
        return;

    qv_item_list kept = {};
    if (kept_listing_copy(job->path, &job->rules, &stamp, &kept)) {
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
        return;
    }

    list_folder(&job->list, job->path, &job->rules, &job->share);
}

static void resolve_job(qv_job *job)
{
    WCHAR target[MAX_PATH];
    wcscpy(target, job->path);
    // A shortcut that is itself only in the cloud would be fetched.
    DWORD attributes = enumeration_attributes(target);
    bool read = attributes == INVALID_FILE_ATTRIBUTES || item_may_be_opened(attributes);
    if (read)
        ConvertShortcutTarget(target);
    AcquireSRWLockExclusive(&job->lock);
    wcscpy(job->target, target);
    job->target_read = read;
    job->known = true;
    ReleaseSRWLockExclusive(&job->lock);
}

static void do_job(qv_job *job)
{
    if (job->kind == job_list_folder)
        list_job(job);
    else
        resolve_job(job);
}

// A listing that a host left unfinished is kept once it is complete, unless
// it ended in an error.  The job has left the table: no host joins it any
// more, and one that still holds it only copies from it.
static void keep_abandoned(qv_job *job)
{
    qv_item_list kept = {};
    AcquireSRWLockExclusive(&job->lock);
    bool keep = job->kind == job_list_folder && job->abandoned && job->share.complete && !job->share.failed &&
                !job->closed && job->list.entries;
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

static void leave_table(qv_job *job)
{
    AcquireSRWLockExclusive(&g_jobs_lock);
    for (qv_job *&running : g_running) {
        if (running == job)
            running = NULL;
    }
    ReleaseSRWLockExclusive(&g_jobs_lock);
}

static DWORD WINAPI worker_main(void *parameter)
{
    qv_job *job = (qv_job *)parameter;
    // The shell's objects (shortcuts, icons) need COM on this thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    do_job(job);
    leave_table(job);
    keep_abandoned(job);
    SetEvent(job->done);
    release_job(job);
    if (SUCCEEDED(com))
        CoUninitialize();
    InterlockedDecrement(&g_workers);
    // The module may be unloaded as this reference goes: leave through
    // kernel32, never back into the module's code.
    FreeLibraryAndExitThread(g_worker_module, 0);
    return 0;
}

// Starts a worker on `job`, which it then shares.
static bool start_worker(qv_job *job)
{
    HMODULE module = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCWSTR)(void *)&worker_main, &module))
        return false;
    g_worker_module = module;
    InterlockedIncrement(&g_workers);
    InterlockedIncrement(&job->refs);
    HANDLE thread = CreateThread(NULL, 0, worker_main, job, 0, NULL);
    if (!thread) {
        InterlockedDecrement(&job->refs);
        InterlockedDecrement(&g_workers);
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}

static bool same_job(const qv_job *job, job_kind kind, const WCHAR *path, const qv_listing_rules *rules)
{
    return job->kind == kind && _wcsicmp(job->path, path) == 0 &&
           (kind != job_list_folder || same_listing_rules(&job->rules, rules));
}

// The running job for the same item, joined; else a new job on a worker of
// its own, when its volume and the process have one to spare; else null.
static qv_job *join_or_start(job_kind kind, const WCHAR *path, const qv_listing_rules *rules, DWORD attributes)
{
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    volume_of(path, volume);
    qv_job *job = NULL;
    AcquireSRWLockExclusive(&g_jobs_lock);
    qv_job **free_slot = NULL;
    int on_volume = 0;
    for (qv_job *&running : g_running) {
        if (!running) {
            free_slot = free_slot ? free_slot : &running;
        } else if (same_job(running, kind, path, rules)) {
            job = running;
            InterlockedIncrement(&job->refs);
            InterlockedIncrement(&job->wanted);
            break;
        } else if (_wcsicmp(running->volume, volume) == 0) {
            on_volume++;
        }
    }
    if (!job && free_slot && on_volume < QV_MAX_VOLUME_WORKERS) {
        job = new_job(kind, path, rules, attributes);
        if (job && start_worker(job)) {
            *free_slot = job;
        } else if (job) {
            release_job(job);
            job = NULL;
        }
    }
    ReleaseSRWLockExclusive(&g_jobs_lock);
    return job;
}

// Runs a job for `path` until `deadline`: without a limit on the calling
// thread, else on a worker, joined or new.  Null when no worker was free.
static qv_job *run_until(job_kind kind, const WCHAR *path, const qv_listing_rules *rules, DWORD attributes,
                         const qv_deadline &deadline)
{
    if (deadline.none) {
        qv_job *job = new_job(kind, path, rules, attributes);
        if (job)
            do_job(job);
        return job;
    }
    qv_job *job = join_or_start(kind, path, rules, attributes);
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
    if (!job)
        return qv_listing_no_worker;

    qv_listing_outcome outcome = qv_listing_listed;
    AcquireSRWLockExclusive(&job->lock);
    if (!job->known) {
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

LONG listing_workers()
{
    return g_workers;
}
