// The first access to a listed folder.
#include "listing/first_touch.h"
#include "listing/folder_listing.h"
#include "listing/folder_path.h"
#include "listing/volume_identity.h"
#include <wchar.h>

// Opening for attributes fetches nothing of a cloud file.  Not in every
// SDK's headers.
#ifndef FILE_FLAG_OPEN_NO_RECALL
#define FILE_FLAG_OPEN_NO_RECALL 0x00100000
#endif

// Below this, a first access came from a disk that is awake and local.
#define QV_QUICK_TOUCH_MS 20

static double elapsed_ms(const LARGE_INTEGER &since)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (double)(now.QuadPart - since.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

void touch_folder(const WCHAR *path, DWORD attributes, qv_first_touch *touch)
{
    *touch = qv_first_touch();
    WCHAR folder[QV_FOLDER_FORM_CHARS];
    folder_form(path, folder);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(folder, GetFileExInfoStandard, &data))
            return;
        attributes = data.dwFileAttributes;
    }
    touch->is_folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // Offline and cloud folders are never opened: they would be fetched.
    if (!touch->is_folder || !item_may_be_opened(attributes))
        return;
    HANDLE handle = CreateFileW(folder, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_NO_RECALL, NULL);
    if (handle == INVALID_HANDLE_VALUE) {
        touch->is_folder = false;  // gone since, or never readable
        return;
    }
    DWORD opened_attributes = attributes;
    WCHAR root[QV_FOLDER_FORM_CHARS];
    volume_of(folder, root);
    bool read = read_folder_stamp(handle, _wcsicmp(root, folder) == 0, &opened_attributes, &touch->stamp);
    // A link (junction, symbolic link, mounted folder) may lead to another
    // volume: where it did is remembered for its next listing and those of
    // the folders under it.
    if (read && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        remember_opened_volume(path, handle);
    CloseHandle(handle);
    if (!read) {
        touch->is_folder = false;
        return;
    }
    touch->is_folder = (opened_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    touch->enumerate = touch->is_folder && item_may_be_opened(opened_attributes);
    touch->quick = elapsed_ms(start) < QV_QUICK_TOUCH_MS && on_local_disk(folder);
}
