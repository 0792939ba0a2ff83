// Jobs on worker threads: the host's thread hands a job over, waits for it
// up to its time limit, and takes what is there.  A job is shared by the
// host's thread and its worker and freed by whichever lets it go last; the
// worker never touches the extension object, which the host may release at
// any time.
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
    job_kind kind;
    HANDLE done;  // set when the worker has finished
    WCHAR path[MAX_PATH];
    qv_listing_rules rules;

    // Written by the worker and read by the host, under `lock`.
    SRWLOCK lock;
    bool known;          // the folder's attributes, or the shortcut, were read
    bool is_folder;
    bool fetched_on_access;  // a cloud folder: not enumerated
    WCHAR target[MAX_PATH];
    qv_listing_share share;  // the listing is complete
    qv_item_list list;
    bool abandoned;      // the host took a part and left the rest to be kept
};

static LONG volatile g_workers;
// The module the workers run in; each worker holds a reference to it.
static HMODULE g_worker_module;

static void release_job(qv_job *job)
{
    if (InterlockedDecrement(&job->refs) != 0)
        return;
    list_clear(&job->list);
    if (job->done)
        CloseHandle(job->done);
    HeapFree(GetProcessHeap(), 0, job);
}

static qv_job *new_job(job_kind kind, const WCHAR *path)
{
    qv_job *job = (qv_job *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(qv_job));
    if (!job)
        return NULL;
    job->refs = 1;
    job->kind = kind;
    wcsncpy(job->path, path, MAX_PATH - 1);
    InitializeSRWLock(&job->lock);
    job->share.lock = &job->lock;
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
    WIN32_FILE_ATTRIBUTE_DATA data;
    bool found = GetFileAttributesExW(folder, GetFileExInfoStandard, &data) != 0;
    bool is_folder = found && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    bool enumerate = is_folder && folder_may_be_enumerated(data.dwFileAttributes);
    AcquireSRWLockExclusive(&job->lock);
    job->known = true;
    job->is_folder = is_folder;
    job->fetched_on_access = is_folder && !enumerate;
    job->share.complete = !enumerate;
    ReleaseSRWLockExclusive(&job->lock);
    if (!enumerate)
        return;

    qv_item_list kept = {};
    if (kept_listing_copy(job->path, &job->rules, data.ftLastWriteTime, &kept)) {
        AcquireSRWLockExclusive(&job->lock);
        job->list = kept;
        job->share.complete = true;
        ReleaseSRWLockExclusive(&job->lock);
        return;
    }

    list_folder(&job->list, job->path, &job->rules, &job->share);

    AcquireSRWLockExclusive(&job->lock);
    qv_item_list overran = {};
    if (job->abandoned) {
        overran = job->list;
        memset(&job->list, 0, sizeof(job->list));
    }
    ReleaseSRWLockExclusive(&job->lock);
    if (overran.entries)
        kept_listing_store(job->path, &job->rules, data.ftLastWriteTime, &overran);
}

static void resolve_job(qv_job *job)
{
    WCHAR target[MAX_PATH];
    wcscpy(target, job->path);
    ConvertShortcutTarget(target);
    AcquireSRWLockExclusive(&job->lock);
    wcscpy(job->target, target);
    job->known = true;
    ReleaseSRWLockExclusive(&job->lock);
}

static void do_job(qv_job *job)
{
    if (job->kind == job_list_folder)
        list_job(job);
    else
        resolve_job(job);
    SetEvent(job->done);
}

static DWORD WINAPI worker_main(void *parameter)
{
    qv_job *job = (qv_job *)parameter;
    // The shell's objects (shortcuts, icons) need COM on this thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    do_job(job);
    release_job(job);
    if (SUCCEEDED(com))
        CoUninitialize();
    InterlockedDecrement(&g_workers);
    // The module may be unloaded as this reference goes: leave through
    // kernel32, never back into the module's code.
    FreeLibraryAndExitThread(g_worker_module, 0);
    return 0;
}

// Starts a worker on `job` (which it then shares), unless QV_MAX_WORKERS run.
static bool start_worker(qv_job *job)
{
    for (;;) {
        LONG running = g_workers;
        if (running >= QV_MAX_WORKERS)
            return false;
        if (InterlockedCompareExchange(&g_workers, running + 1, running) == running)
            break;
    }
    HMODULE module = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCWSTR)(void *)&worker_main, &module)) {
        InterlockedDecrement(&g_workers);
        return false;
    }
    g_worker_module = module;
    InterlockedIncrement(&job->refs);
    HANDLE thread = CreateThread(NULL, 0, worker_main, job, 0, NULL);
    if (!thread) {
        InterlockedDecrement(&job->refs);
        FreeLibrary(module);
        InterlockedDecrement(&g_workers);
        return false;
    }
    CloseHandle(thread);
    return true;
}

// Runs `job` and waits for it at most `limit_ms`.  Without a limit the
// host's thread waits for the whole job in any case: it does the job itself,
// as it always did, and no worker is needed.  False when no worker was free.
static bool run_in_time(qv_job *job, DWORD limit_ms)
{
    if (limit_ms == 0) {
        do_job(job);
        return true;
    }
    if (!start_worker(job))
        return false;
    WaitForSingleObject(job->done, limit_ms);
    return true;
}

// The part of the listing found so far, then "." for the rest.
static void take_part(qv_job *job, qv_item_list *out)
{
    list_copy_entries(out, &job->list, job->list.entry_count);
    list_append_ansi(out, ".");
    list_finish(out);
}

qv_listing_outcome list_in_time(const WCHAR *folder, const qv_listing_rules *rules, DWORD limit_ms,
                                qv_item_list *out)
{
    kept_listings_expire();
    qv_job *job = new_job(job_list_folder, folder);
    if (!job)
        return qv_listing_no_worker;
    job->rules = *rules;
    if (!run_in_time(job, limit_ms)) {
        release_job(job);
        return qv_listing_no_worker;
    }

    qv_listing_outcome outcome = qv_listing_listed;
    AcquireSRWLockExclusive(&job->lock);
    if (!job->known) {
        outcome = qv_listing_unknown;
        job->abandoned = true;  // still kept once it is listed
    } else if (!job->is_folder) {
        outcome = qv_listing_not_folder;
    } else if (job->fetched_on_access) {
        list_append_ansi(out, ".");
        list_finish(out);
    } else if (job->share.complete) {
        *out = job->list;
        memset(&job->list, 0, sizeof(job->list));
    } else {
        take_part(job, out);
        job->abandoned = true;
        outcome = qv_listing_partial;
    }
    ReleaseSRWLockExclusive(&job->lock);
    release_job(job);
    return outcome;
}

bool resolve_shortcut_in_time(WCHAR *path, DWORD limit_ms)
{
    qv_job *job = new_job(job_resolve_shortcut, path);
    if (!job)
        return false;
    bool resolved = false;
    if (run_in_time(job, limit_ms)) {
        AcquireSRWLockExclusive(&job->lock);
        if (job->known) {
            wcscpy(path, job->target);
            resolved = true;
        }
        ReleaseSRWLockExclusive(&job->lock);
    }
    release_job(job);
    return resolved;
}

LONG listing_workers()
{
    return g_workers;
}
