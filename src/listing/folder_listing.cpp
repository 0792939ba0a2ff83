// Listing of a folder: the visible items in enumeration order, each with the
// index of its small shell icon in the system image list.
#include <string.h>
#include <wchar.h>
#include "common/qv_config.h"
#include <shellapi.h>
#include "listing/folder_listing.h"

#define PATTERN_CHARS 264
#define FULL_PATH_CHARS 552

// Names that are never listed: loaded libraries and compiled Python files.
// Lower case only, as the file system reports them.
static bool filtered_extension(const WCHAR *name, size_t len)
{
    if (len < 4)
        return false;
    const WCHAR *tail = name + len - 4;
    return !wcscmp(tail, L".dll") || !wcscmp(tail, L".pyc") || !wcscmp(tail, L".pyo");
}

static bool listed_name(const qv_listing_rules *rules, const WCHAR *name)
{
    if (name[0] == L'.') {
        if (name[1] == 0)
            return false;
        if (!rules->show_dot_dot && name[1] == L'.' && name[2] == 0)
            return false;
    }
    return !filtered_extension(name, wcslen(name));
}

qv_listing_rules listing_rules(const qv_config *config, DWORD is_lnk)
{
    qv_listing_rules rules;
    rules.max_names = (UINT64)config->MaxMenuItems + 1;
    // A shortcut's target shows its ".." unless that is turned off.
    rules.show_dot_dot = config->HideItemDotDot == 0 && is_lnk;
    rules.pictures = QV_MAX_PICTURES;
    return rules;
}

bool icon_reads_item(DWORD attributes)
{
    return !(attributes & (FILE_ATTRIBUTE_OFFLINE | QV_ATTRIBUTE_RECALL_ON_OPEN | QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS));
}

bool folder_may_be_enumerated(DWORD attributes)
{
    return !(attributes & QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS);
}

int (*g_icon_lookup)(const WCHAR *path, DWORD attributes) = item_icon;

int item_icon(const WCHAR *path, DWORD attributes)
{
    SHFILEINFOW info;
    memset(&info, 0, sizeof(info));
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (icon_reads_item(attributes))
        attributes = 0;
    else
        flags |= SHGFI_USEFILEATTRIBUTES;
    if (!SHGetFileInfoW(path, attributes, &info, sizeof(info), flags))
        return QV_NO_ICON;
    return info.iIcon;
}

// Holds the share's lock, when there is one, while the list changes.
class share_guard {
public:
    explicit share_guard(qv_listing_share *share) : lock_(share ? share->lock : NULL)
    {
        if (lock_)
            AcquireSRWLockExclusive(lock_);
    }
    ~share_guard()
    {
        if (lock_)
            ReleaseSRWLockExclusive(lock_);
    }
    share_guard(const share_guard &) = delete;
    share_guard &operator=(const share_guard &) = delete;

private:
    SRWLOCK *lock_;
};

static void mark_complete(qv_listing_share *share)
{
    share_guard guard(share);
    if (share)
        share->complete = true;
}

void list_folder(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules, qv_listing_share *share)
{
    size_t dir_len = wcslen(dir);
    // "\*" and the NUL must fit; a folder name longer than a file name can be
    // is never listed (the caller keeps to 244 characters).
    if (dir_len + 3 > PATTERN_CHARS || dir_len >= MAX_PATH) {
        mark_complete(share);
        return;
    }
    WCHAR pattern[PATTERN_CHARS];
    wmemcpy(pattern, dir, dir_len);
    wcscpy(pattern + dir_len, L"\\*");

    {
        share_guard guard(share);
        list_reserve(list, 4096, 128);
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) {
        mark_complete(share);
        return;
    }

    // dir + "\" + a name of at most MAX_PATH - 1 characters always fits.
    WCHAR full_path[FULL_PATH_CHARS];
    wmemcpy(full_path, dir, dir_len);
    full_path[dir_len] = L'\\';
    UINT64 listed = 0;
    bool more = true;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
            continue;
        const WCHAR *name = found.cFileName;
        if (!listed_name(rules, name))
            continue;
        size_t len = wcsnlen(name, MAX_PATH - 1);
        UINT64 index;
        {
            share_guard guard(share);
            if (!list_append_name(list, name, len))
                continue;
            index = list->entry_count - 1;
            list->entries[index].attributes = found.dwFileAttributes;
        }
        // Past the bound the entry is listed without its icon.
        if (listed < rules->pictures) {
            wmemcpy(full_path + dir_len + 1, name, len);
            full_path[dir_len + 1 + len] = 0;
            int icon = g_icon_lookup(full_path, found.dwFileAttributes);
            share_guard guard(share);
            list->entries[index].icon = icon;
        }

        listed++;
        if (listed >= rules->max_names) {
            // One entry past the limit: "." stands for the rest (it opens the folder).
            share_guard guard(share);
            list_append_ansi(list, ".");
            more = false;
        }
    } while (more && FindNextFileW(find, &found));
    FindClose(find);
    share_guard guard(share);
    list_finish(list);
    if (share)
        share->complete = true;
}

void list_finish(qv_item_list *list)
{
    if (list_append_ansi(list, "")) {
        list->entry_count--;
        return;
    }
    if (list->entries && list->entry_count < list->entry_capacity) {
        // The pool is full: the sentinel's offset is one past its last NUL.
        qv_entry *sentinel = &list->entries[list->entry_count];
        sentinel->name_offset = list->pool_used;
        sentinel->icon = QV_NO_ICON;
        sentinel->attributes = 0;
        return;
    }
    if (list->entry_count == 0)
        return;
    // No spare record: the last entry gives up its record and its name, which
    // becomes the empty name the sentinel points at.
    qv_entry *last = &list->entries[--list->entry_count];
    last->icon = QV_NO_ICON;
    list->pool[last->name_offset] = 0;
    list->pool_used = last->name_offset + 1;
}
