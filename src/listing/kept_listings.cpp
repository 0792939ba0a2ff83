// Listings kept for the next right-click on the same folder.
#include "listing/kept_listings.h"
#include <string.h>
#include <wchar.h>

DWORD g_kept_listing_ms = 60000;

struct kept_listing {
    bool used;
    WCHAR folder[MAX_PATH];
    qv_listing_rules rules;
    qv_folder_stamp stamp;
    ULONGLONG stored_at;  // GetTickCount64
    qv_item_list list;    // names and icon indices: no GDI object
};

// Workers store, host threads copy: every access holds the lock.
static SRWLOCK g_kept_lock = SRWLOCK_INIT;
static kept_listing g_kept[QV_KEPT_LISTINGS];

static void drop(kept_listing *kept)
{
    list_clear(&kept->list);
    memset(kept, 0, sizeof(*kept));
}

static bool same_stamp(const qv_folder_stamp *a, const qv_folder_stamp *b)
{
    return CompareFileTime(&a->write_time, &b->write_time) == 0 && a->change_time.QuadPart == b->change_time.QuadPart &&
           a->volume_serial == b->volume_serial;
}

static void expire_locked()
{
    ULONGLONG now = GetTickCount64();
    for (kept_listing &kept : g_kept) {
        if (kept.used && now - kept.stored_at >= g_kept_listing_ms)
            drop(&kept);
    }
}

bool kept_listing_copy(const WCHAR *folder, const qv_listing_rules *rules, const qv_folder_stamp *stamp,
                       qv_item_list *out)
{
    bool copied = false;
    AcquireSRWLockExclusive(&g_kept_lock);
    expire_locked();
    for (kept_listing &kept : g_kept) {
        if (!kept.used || _wcsicmp(kept.folder, folder) != 0 || !same_listing_rules(&kept.rules, rules))
            continue;
        if (stamp && !same_stamp(&kept.stamp, stamp)) {
            drop(&kept);  // the folder changed since: never shown again
            continue;
        }
        // No more icons than this listing may have.
        copied = list_copy_listing(out, &kept.list, rules->icons);
        break;
    }
    ReleaseSRWLockExclusive(&g_kept_lock);
    return copied;
}

void kept_listing_store(const WCHAR *folder, const qv_listing_rules *rules, const qv_folder_stamp *stamp,
                        qv_item_list *list)
{
    AcquireSRWLockExclusive(&g_kept_lock);
    expire_locked();
    // One listing per folder and rules: the newer replaces the older.
    for (kept_listing &kept : g_kept) {
        if (kept.used && _wcsicmp(kept.folder, folder) == 0 && same_listing_rules(&kept.rules, rules))
            drop(&kept);
    }
    // Make room: the oldest goes.
    kept_listing *oldest = NULL, *free_slot = NULL;
    for (kept_listing &kept : g_kept) {
        if (!kept.used)
            free_slot = free_slot ? free_slot : &kept;
        else if (!oldest || kept.stored_at < oldest->stored_at)
            oldest = &kept;
    }
    if (!free_slot) {
        drop(oldest);
        free_slot = oldest;
    }
    free_slot->used = true;
    wcsncpy(free_slot->folder, folder, MAX_PATH - 1);
    free_slot->rules = *rules;
    free_slot->stamp = *stamp;
    free_slot->stored_at = GetTickCount64();
    free_slot->list = *list;
    memset(list, 0, sizeof(*list));
    ReleaseSRWLockExclusive(&g_kept_lock);
    list_clear(list);
}

void kept_listings_expire()
{
    AcquireSRWLockExclusive(&g_kept_lock);
    expire_locked();
    ReleaseSRWLockExclusive(&g_kept_lock);
}

void kept_listings_drop_all()
{
    AcquireSRWLockExclusive(&g_kept_lock);
    for (kept_listing &kept : g_kept) {
        if (kept.used)
            drop(&kept);
    }
    ReleaseSRWLockExclusive(&g_kept_lock);
}

bool read_folder_stamp(HANDLE handle, bool root, DWORD *attributes, qv_folder_stamp *stamp)
{
    FILE_BASIC_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &info, sizeof(info)))
        return false;
    *attributes = info.FileAttributes;
    stamp->write_time.dwLowDateTime = info.LastWriteTime.LowPart;
    stamp->write_time.dwHighDateTime = (DWORD)info.LastWriteTime.HighPart;
    stamp->change_time = info.ChangeTime;
    stamp->volume_serial = 0;
    // A root, or a folder without times, is told from another volume's by
    // the serial number alone.
    if (root || (info.LastWriteTime.QuadPart == 0 && info.ChangeTime.QuadPart == 0))
        GetVolumeInformationByHandleW(handle, NULL, 0, &stamp->volume_serial, NULL, NULL, NULL, 0);
    return true;
}
