// Workers, each the thread of one slot of the table, run the jobs in their
// slots one after another: when one ends, its worker takes the oldest
// queued job of a volume that has a worker to spare, and ends itself when
// there is none.
#include "listing/job_scheduler.h"
#include <objbase.h>
#include <string.h>
#include <wchar.h>
#include "listing/volume_identity.h"

// Everything below is under g_jobs_lock.
static SRWLOCK g_jobs_lock = SRWLOCK_INIT;
// The job each worker runs now, by slot; null between two jobs.
static qv_job *g_running[QV_MAX_WORKERS];
// Slots whose worker thread is alive.
static bool g_slot_busy[QV_MAX_WORKERS];
// Jobs waiting for a worker, oldest first.
static qv_job *g_queue_head;
static LONG g_queued;

static LONG volatile g_workers;
// The module the workers run in; each worker holds a reference to it.
static HMODULE g_worker_module;

qv_job *new_job(job_kind kind, const qv_job_steps *steps, const WCHAR *path, const qv_listing_rules *rules,
                DWORD attributes)
{
    qv_job *job = (qv_job *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(qv_job));
    if (!job)
        return NULL;
    job->refs = 1;
    job->wanted = 1;
    job->kind = kind;
    job->steps = steps;
    wcsncpy(job->path, path, MAX_PATH - 1);
    volume_key(job->path, job->volume);
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

void release_job(qv_job *job)
{
    if (InterlockedDecrement(&job->refs) != 0)
        return;
    list_clear(&job->list);
    if (job->done)
        CloseHandle(job->done);
    HeapFree(GetProcessHeap(), 0, job);
}

static int workers_on(const WCHAR *volume)
{
    int count = 0;
    for (qv_job *running : g_running)
        count += running && _wcsicmp(running->volume, volume) == 0;
    return count;
}

// A queued job that nobody waits for and whose listing nobody will keep.
static bool unwanted(qv_job *job)
{
    AcquireSRWLockShared(&job->lock);
    bool keep = job->abandoned;
    ReleaseSRWLockShared(&job->lock);
    return job->wanted <= 0 && !keep;
}

// Takes out of the queue its oldest job whose volume has a worker to
// spare, dropping on the way those nobody wants; null when there is none.
static qv_job *take_queued()
{
    qv_job **link = &g_queue_head;
    while (*link) {
        qv_job *job = *link;
        bool drop = unwanted(job);
        if (!drop && workers_on(job->volume) >= QV_MAX_VOLUME_WORKERS) {
            link = &job->next_queued;
            continue;
        }
        *link = job->next_queued;
        job->next_queued = NULL;
        g_queued--;
        if (!drop) {
            job->started = true;
            return job;
        }
        job->dropped = true;
        SetEvent(job->done);
        release_job(job);  // the queue's reference
    }
    return NULL;
}

static DWORD WINAPI worker_main(void *parameter)
{
    int slot = (int)(INT_PTR)parameter;
    // The shell's objects (shortcuts, icons) need COM on this thread.
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    AcquireSRWLockShared(&g_jobs_lock);
    qv_job *job = g_running[slot];
    ReleaseSRWLockShared(&g_jobs_lock);
    while (job) {
        bool finished = job->steps->run(job);
        AcquireSRWLockExclusive(&g_jobs_lock);
        // A job that went back to a queue left the next one in its slot.
        if (finished)
            g_running[slot] = take_queued();
        qv_job *next = g_running[slot];
        // Ending, under the lock that a new job's start takes: a job queued
        // from now on finds this slot free.
        if (!next)
            g_slot_busy[slot] = false;
        ReleaseSRWLockExclusive(&g_jobs_lock);
        if (finished) {
            job->steps->after(job);
            SetEvent(job->done);
            release_job(job);
        }
        job = next;
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    InterlockedDecrement(&g_workers);
    // The module may be unloaded as this reference goes: leave through
    // kernel32, never back into the module's code.
    FreeLibraryAndExitThread(g_worker_module, 0);
    return 0;
}

// Starts the worker of a free slot on `job`, which it then shares.
static bool start_worker(int slot, qv_job *job)
{
    HMODULE module = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, (LPCWSTR)(void *)&worker_main, &module))
        return false;
    g_worker_module = module;
    InterlockedIncrement(&g_workers);
    InterlockedIncrement(&job->refs);
    job->started = true;
    g_running[slot] = job;
    g_slot_busy[slot] = true;
    HANDLE thread = CreateThread(NULL, 0, worker_main, (void *)(INT_PTR)slot, 0, NULL);
    if (!thread) {
        g_running[slot] = NULL;
        g_slot_busy[slot] = false;
        job->started = false;
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

static qv_job *joined(qv_job *job)
{
    InterlockedIncrement(&job->refs);
    InterlockedIncrement(&job->wanted);
    return job;
}

static void enqueue(qv_job *job, bool first)
{
    job->started = false;
    qv_job **link = &g_queue_head;
    while (!first && *link)
        link = &(*link)->next_queued;
    job->next_queued = *link;
    *link = job;
    g_queued++;
}

static qv_job *schedule_locked(job_kind kind, const qv_job_steps *steps, const WCHAR *path,
                               const qv_listing_rules *rules, DWORD attributes)
{
    for (qv_job *running : g_running) {
        if (running && same_job(running, kind, path, rules))
            return joined(running);
    }
    int queued_on_volume = 0;
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    volume_key(path, volume);
    for (qv_job *queued = g_queue_head; queued; queued = queued->next_queued) {
        if (same_job(queued, kind, path, rules))
            return joined(queued);
        queued_on_volume += _wcsicmp(queued->volume, volume) == 0;
    }
    int free_slot = -1;
    for (int slot = 0; slot < QV_MAX_WORKERS && free_slot < 0; slot++) {
        if (!g_slot_busy[slot])
            free_slot = slot;
    }
    bool start = free_slot >= 0 && workers_on(volume) < QV_MAX_VOLUME_WORKERS;
    if (!start && (queued_on_volume >= QV_MAX_VOLUME_QUEUE || g_queued >= QV_MAX_QUEUED))
        return NULL;
    qv_job *job = new_job(kind, steps, path, rules, attributes);
    if (!job)
        return NULL;
    if (start && start_worker(free_slot, job))
        return job;
    InterlockedIncrement(&job->refs);  // the queue's
    enqueue(job, false);
    return job;
}

qv_job *schedule_job(job_kind kind, const qv_job_steps *steps, const WCHAR *path, const qv_listing_rules *rules,
                     DWORD attributes)
{
    AcquireSRWLockExclusive(&g_jobs_lock);
    qv_job *job = schedule_locked(kind, steps, path, rules, attributes);
    ReleaseSRWLockExclusive(&g_jobs_lock);
    return job;
}

bool job_found_volume(qv_job *job, const WCHAR *volume)
{
    bool stays = true;
    AcquireSRWLockExclusive(&g_jobs_lock);
    if (_wcsicmp(job->volume, volume) != 0) {
        bool full = workers_on(volume) >= QV_MAX_VOLUME_WORKERS;
        wcscpy(job->volume, volume);
        for (qv_job *&running : g_running) {
            if (running != job || !full)
                continue;
            // It waited longest: first in its volume's queue, holding the
            // worker's reference; the worker goes on with another.
            enqueue(job, true);
            running = take_queued();
            stays = false;
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_jobs_lock);
    return stays;
}

LONG listing_workers()
{
    return g_workers;
}

LONG listing_requests_queued()
{
    AcquireSRWLockShared(&g_jobs_lock);
    LONG queued = g_queued;
    ReleaseSRWLockShared(&g_jobs_lock);
    return queued;
}
