// Listing of a folder: the visible items in enumeration order or in
// Explorer's, each with the index of its small shell icon in the system
// image list: first every name with its type's picture, then the pictures
// that items decide themselves.
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <algorithm>
#include "common/qv_config.h"
#include "listing/folder_listing.h"
#include "listing/explorer_order.h"
#include "listing/item_pictures.h"
#include "listing/known_pictures.h"
#include "listing/name_rules.h"

#define PATTERN_CHARS 264

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
    return !filtered_extension(name, wcslen(name)) && name_keeps_its_item(name);
}

qv_listing_rules listing_rules(const qv_config *config, DWORD is_lnk)
{
    qv_listing_rules rules;
    rules.max_names = (UINT64)config->MaxMenuItems + 1;
    // A shortcut's target shows its ".." unless that is turned off.
    rules.show_dot_dot = config->HideItemDotDot == 0 && is_lnk;
    rules.icons = QV_MAX_PICTURES;
    rules.sort = config->SortEntries != 0;
    return rules;
}

bool item_may_be_opened(DWORD attributes)
{
    return !(attributes & (FILE_ATTRIBUTE_OFFLINE | QV_ATTRIBUTE_RECALL_ON_OPEN | QV_ATTRIBUTE_RECALL_ON_DATA_ACCESS));
}

bool same_listing_rules(const qv_listing_rules *a, const qv_listing_rules *b)
{
    return a->max_names == b->max_names && a->show_dot_dot == b->show_dot_dot && a->sort == b->sort;
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

static void mark_ended(qv_listing_share *share, bool failed)
{
    share_guard guard(share);
    if (share) {
        share->complete = true;
        share->failed = failed;
    }
}

// Whether entry i is the "." that stands for the rest: no item has that name.
static bool more_entry(const qv_item_list *list, UINT64 i)
{
    return wcscmp(list_name(list, i), L".") == 0;
}

// A sorted listing shows the first names of the whole folder, which are
// known only at its end: the worker picks them in `best` as names come, and
// every now and then puts what it has, in order and with "." when names were
// left out, into the shared list, built first and swapped in under the lock.
// So whoever copies the list when the time is up finds it ordered and short.
static void publish_in_order(qv_item_list *list, explorer_selection *best, const qv_listing_rules *rules,
                             qv_listing_share *share)
{
    qv_item_list ordered = {};
    best->build(&ordered, rules->icons);
    {
        share_guard guard(share);
        qv_item_list found = *list;
        *list = ordered;
        ordered = found;
    }
    list_clear(&ordered);
}

// Time between two publications of a sorted listing being read: each
// copies the names picked so far.
#define PUBLISH_EVERY_MS 20

static bool still_wanted(const qv_listing_share *share)
{
    return !share || !share->wanted || *share->wanted > 0;
}

void list_own_pictures(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules,
                       qv_listing_share *share)
{
    qv_item_place place;
    bool opened = false;
    UINT64 cursor = 0;
    for (UINT64 i = 0; i < list->entry_count && i < rules->icons; i++) {
        if (list->entries[i].icon_kind != qv_icon_type_for_now)
            continue;
        if (share && share->known) {
            share_guard guard(share);
            if (reuse_known_picture(list, i, share->known, &cursor))
                continue;
        }
        if (!still_wanted(share))
            continue;
        if (!opened) {
            open_item_place(&place, dir);
            opened = true;
        }
        int icon = own_picture(&place, list_name(list, i), list->entries[i].attributes);
        share_guard guard(share);
        if (icon != QV_NO_ICON)
            list->entries[i].icon = icon;
        list->entries[i].icon_kind = qv_icon_own;
    }
    if (opened)
        close_item_place(&place);
}

// The next item of an enumeration; false at its end, with `failed` set
// when it ended in an error rather than after the last item.
static bool next_item(HANDLE find, WIN32_FIND_DATAW *found, bool *failed)
{
    if (FindNextFileW(find, found))
        return true;
    *failed = GetLastError() != ERROR_NO_MORE_FILES;
    return false;
}

void list_folder(qv_item_list *list, const WCHAR *dir, const qv_listing_rules *rules, qv_listing_share *share)
{
    size_t dir_len = wcslen(dir);
    // "\*" and the NUL must fit; a folder name longer than a file name can be
    // is never listed (the caller keeps to 244 characters).
    if (dir_len + 3 > PATTERN_CHARS || dir_len >= MAX_PATH) {
        mark_ended(share, false);
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
        // An empty drive root has no item at all, not even ".".
        mark_ended(share, GetLastError() != ERROR_FILE_NOT_FOUND);
        return;
    }

    UINT64 listed = 0;
    bool more = true, failed = false;
    explorer_selection best(rules->max_names);
    ULONGLONG published_at = GetTickCount64();
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
            continue;
        const WCHAR *name = found.cFileName;
        if (!listed_name(rules, name))
            continue;
        if (rules->sort) {
            best.offer(name, wcsnlen(name, MAX_PATH - 1), found.dwFileAttributes);
            if (best.changed() && GetTickCount64() - published_at >= PUBLISH_EVERY_MS) {
                publish_in_order(list, &best, rules, share);
                published_at = GetTickCount64();
            }
            continue;
        }
        // Past the bound the entry is listed without a picture.
        qv_icon_kind kind = qv_icon_type;
        int icon = listed < rules->icons ? type_picture(name, found.dwFileAttributes, &kind) : QV_NO_ICON;
        {
            share_guard guard(share);
            if (!list_append_name(list, name, wcsnlen(name, MAX_PATH - 1)))
                continue;
            qv_entry *entry = &list->entries[list->entry_count - 1];
            entry->attributes = found.dwFileAttributes;
            entry->icon = icon;
            entry->icon_kind = icon == QV_NO_ICON ? qv_icon_type : kind;
        }
        listed++;
        if (listed >= rules->max_names) {
            // One entry past the limit: "." stands for the rest (it opens the folder).
            share_guard guard(share);
            list_append_ansi(list, ".");
            more = false;
        }
    } while (more && next_item(find, &found, &failed));
    FindClose(find);
    if (rules->sort)
        publish_in_order(list, &best, rules, share);
    {
        share_guard guard(share);
        // Cut short by an error: "." opens the folder for the rest.
        if (failed && !(list->entry_count && more_entry(list, list->entry_count - 1)))
            list_append_ansi(list, ".");
        list_finish(list);
        if (share) {
            share->listed = true;
            share->failed = failed;
        }
    }
    list_own_pictures(list, dir, rules, share);
    mark_ended(share, failed);
}

bool list_copy_listing(qv_item_list *out, const qv_item_list *from, UINT64 icons)
{
    if (list_copy_entries(out, from, NULL, from->entry_count, icons) != from->entry_count) {
        list_clear(out);
        return false;
    }
    list_finish(out);
    return true;
}

void list_copy_part(qv_item_list *out, const qv_item_list *from, const qv_listing_rules *rules)
{
    // A sorted listing is in order as it grows: copied as it is.
    UINT64 count = from->entry_count;
    if (count && more_entry(from, count - 1))
        count--;
    list_copy_entries(out, from, NULL, std::min(count, rules->max_names), rules->icons);
    list_append_ansi(out, ".");
    list_finish(out);
}

void list_dot_alone(qv_item_list *list)
{
    list_append_ansi(list, ".");
    list_finish(list);
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
