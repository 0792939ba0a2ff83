// Listing of a folder: the visible items in enumeration order, each with a
// menu bitmap made from its small shell icon.
#include <string.h>
#include <wchar.h>
#include "common/qv_shellex.h"
#include <shellapi.h>
#include "extension/folder_listing.h"
#include "extension/menu_bitmap.h"

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

static bool listed_name(const qv_shellex *ext, const WCHAR *name)
{
    if (name[0] == L'.') {
        if (name[1] == 0)
            return false;
        // A shortcut's target shows its ".." unless that is turned off.
        bool dot_dot_wanted = ext->config.HideItemDotDot == 0 && ext->is_lnk;
        if (!dot_dot_wanted && name[1] == L'.' && name[2] == 0)
            return false;
    }
    return !filtered_extension(name, wcslen(name));
}

// The small shell icon of `path` as a menu bitmap, or null.
static HBITMAP item_bitmap(const WCHAR *path)
{
    SHFILEINFOW info;
    memset(&info, 0, sizeof(info));
    if (!SHGetFileInfoW(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON))
        return NULL;
    HBITMAP bitmap = make_menu_bitmap(info.hIcon);
    DestroyIcon(info.hIcon);
    return bitmap;
}

void list_directory(qv_shellex *ext, const WCHAR *dir)
{
    qv_item_list *list = &ext->list;
    size_t dir_len = wcslen(dir);
    // "\*" and the NUL must fit; a folder name longer than a file name can be
    // is never listed (the caller keeps to 244 characters).
    if (dir_len + 3 > PATTERN_CHARS || dir_len >= MAX_PATH)
        return;
    WCHAR pattern[PATTERN_CHARS];
    wmemcpy(pattern, dir, dir_len);
    wcscpy(pattern + dir_len, L"\\*");

    list_reserve(list, 4096, 128);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE)
        return;

    // dir + "\" + a name of at most MAX_PATH - 1 characters always fits.
    WCHAR full_path[FULL_PATH_CHARS];
    wmemcpy(full_path, dir, dir_len);
    full_path[dir_len] = L'\\';
    UINT64 listed = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN)
            continue;
        const WCHAR *name = found.cFileName;
        if (!listed_name(ext, name))
            continue;
        size_t len = wcsnlen(name, MAX_PATH - 1);
        if (!list_append_name(list, name, len))
            continue;
        wmemcpy(full_path + dir_len + 1, name, len);
        full_path[dir_len + 1 + len] = 0;
        // Past the picture bound the entry is listed without its icon.
        if (listed < QV_MAX_PICTURES)
            list->entries[list->entry_count - 1].bitmap = item_bitmap(full_path);

        listed++;
        if (listed > (UINT64)ext->config.MaxMenuItems) {
            // One entry past the limit: "." stands for the rest (it opens the folder).
            list_append_ansi(list, ".");
            break;
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
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
        sentinel->bitmap = NULL;
        return;
    }
    if (list->entry_count == 0)
        return;
    // No spare record: the last entry gives up its record and its name, which
    // becomes the empty name the sentinel points at.
    qv_entry *last = &list->entries[--list->entry_count];
    DeleteObject(last->bitmap);
    last->bitmap = NULL;
    list->pool[last->name_offset] = 0;
    list->pool_used = last->name_offset + 1;
}
