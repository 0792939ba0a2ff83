// Volumes by what answers for them, and the answers workers found.
#include "listing/volume_identity.h"
#include <wchar.h>
#include <winnetwk.h>

#define QV_VOLUME_ANSWERS 32

// What a worker found: the volume of `prefix` and everything under it.
struct volume_answer {
    bool used;
    WCHAR prefix[QV_FOLDER_FORM_CHARS];
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    UINT drive_type;     // GetDriveTypeW's, for a letter's root
    ULONGLONG found_at;  // GetTickCount64
};

// Workers write, host threads read: every access holds the lock.
static SRWLOCK g_answers_lock = SRWLOCK_INIT;
static volume_answer g_answers[QV_VOLUME_ANSWERS];

// "\\server" for "\\server\share\..." or "\\?\UNC\server\share\...".
static bool server_of(const WCHAR *path, WCHAR *out)
{
    const WCHAR *name;
    if (_wcsnicmp(path, L"\\\\?\\UNC\\", 8) == 0)
        name = path + 8;
    else if (path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.')
        name = path + 2;
    else
        return false;
    size_t len = wcscspn(name, L"\\/");
    if (len == 0 || len + 3 > QV_FOLDER_FORM_CHARS)
        return false;
    out[0] = out[1] = L'\\';
    wmemcpy(out + 2, name, len);
    out[len + 2] = 0;
    return true;
}

// The path's root as written: "C:\" (also for "\\?\C:\..."), or the share.
static void written_root(const WCHAR *path, WCHAR *out)
{
    if (wcsncmp(path, L"\\\\?\\", 4) == 0 && path[4] && path[5] == L':')
        path += 4;
    volume_of(path, out);
}

// Whether `path` (in folder form) is `prefix` or lies under it.
static bool under(const WCHAR *path, const WCHAR *prefix)
{
    size_t len = wcslen(prefix);
    if (_wcsnicmp(path, prefix, len) != 0)
        return false;
    return path[len] == 0 || path[len] == L'\\' || (len && prefix[len - 1] == L'\\');
}

// The remembered answer with the longest prefix of `path`, copied into
// `out`; answers older than QV_VOLUME_MEMORY_MS are gone.
static bool remembered(const WCHAR *path, WCHAR *out, UINT *drive_type = NULL)
{
    WCHAR form[QV_FOLDER_FORM_CHARS];
    folder_form(path, form);
    ULONGLONG now = GetTickCount64();
    size_t best = 0;
    AcquireSRWLockShared(&g_answers_lock);
    for (const volume_answer &answer : g_answers) {
        size_t len = wcslen(answer.prefix);
        if (!answer.used || now - answer.found_at >= QV_VOLUME_MEMORY_MS || len <= best || !under(form, answer.prefix))
            continue;
        best = len;
        wcscpy(out, answer.volume);
        if (drive_type)
            *drive_type = answer.drive_type;
    }
    ReleaseSRWLockShared(&g_answers_lock);
    return best != 0;
}

static void remember(const WCHAR *prefix, const WCHAR *volume, UINT drive_type)
{
    AcquireSRWLockExclusive(&g_answers_lock);
    WCHAR form[QV_FOLDER_FORM_CHARS];
    folder_form(prefix, form);
    // The same prefix's answer is replaced; else a free one, else the oldest.
    volume_answer *slot = NULL;
    for (volume_answer &answer : g_answers) {
        if (answer.used && _wcsicmp(answer.prefix, form) == 0) {
            slot = &answer;
            break;
        }
        if (!slot || (slot->used && (!answer.used || answer.found_at < slot->found_at)))
            slot = &answer;
    }
    slot->used = true;
    wcscpy(slot->prefix, form);
    wcscpy(slot->volume, volume);
    slot->drive_type = drive_type;
    slot->found_at = GetTickCount64();
    ReleaseSRWLockExclusive(&g_answers_lock);
}

void volume_key(const WCHAR *path, WCHAR *out)
{
    if (server_of(path, out) || remembered(path, out))
        return;
    written_root(path, out);
}

// The share a remote drive letter is mapped to ("\\server\share"), from the
// network provider.  mpr is not among the libraries every process has
// loaded: it comes from System32 alone.
static bool mapped_share(WCHAR letter, WCHAR *remote, DWORD chars)
{
    HMODULE mpr = LoadLibraryExW(L"mpr.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!mpr)
        return false;
    typedef DWORD(WINAPI * get_connection)(LPCWSTR, LPWSTR, LPDWORD);
    get_connection get = (get_connection)(void *)GetProcAddress(mpr, "WNetGetConnectionW");
    WCHAR local[3] = {letter, L':', 0};
    bool found = get && get(local, remote, &chars) == NO_ERROR;
    FreeLibrary(mpr);
    return found;
}

// A drive letter's volume and type, remembered or asked: one question a
// minute for every path under it.  False for a path without a letter.
static bool letter_answer(const WCHAR *path, WCHAR *out, UINT *drive_type)
{
    WCHAR root[QV_FOLDER_FORM_CHARS];
    written_root(path, root);
    if (path[0] == L'\\' && path[1] == L'\\' && !(path[2] == L'?' && root[1] == L':'))
        return false;
    if (!(root[1] == L':' && root[2] == L'\\' && root[3] == 0))
        return false;
    if (remembered(root, out, drive_type))
        return true;
    // A letter of a local disk volume says so by its device's name, which
    // the object manager gives without reaching the drive; only other
    // letters are asked for their type, which opens their root.
    WCHAR letter[3] = {root[0], L':', 0}, device[MAX_PATH];
    DWORD chars = QueryDosDeviceW(letter, device, MAX_PATH);
    const WCHAR disk[] = L"\\Device\\HarddiskVolume";
    if (chars && _wcsnicmp(device, disk, wcslen(disk)) == 0)
        *drive_type = DRIVE_FIXED;
    else
        *drive_type = GetDriveTypeW(root);
    WCHAR remote[MAX_PATH + 1];
    if (!(*drive_type == DRIVE_REMOTE && mapped_share(root[0], remote, MAX_PATH + 1) && server_of(remote, out)))
        wcscpy(out, root);
    remember(root, out, *drive_type);
    return true;
}

bool find_mapped_volume(const WCHAR *path, WCHAR *out)
{
    WCHAR root[QV_FOLDER_FORM_CHARS];
    UINT drive_type;
    if (!letter_answer(path, out, &drive_type)) {
        volume_key(path, out);
        return false;
    }
    written_root(path, root);
    return _wcsicmp(out, root) != 0;
}

bool on_local_disk(const WCHAR *path)
{
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    UINT drive_type = DRIVE_UNKNOWN;
    return letter_answer(path, volume, &drive_type) && drive_type == DRIVE_FIXED;
}

void remember_opened_volume(const WCHAR *path, HANDLE handle)
{
    WCHAR written[QV_FOLDER_FORM_CHARS];
    if (server_of(path, written))
        return;  // a share's path leads to its server
    WCHAR final_path[MAX_PATH + 8];
    DWORD len = GetFinalPathNameByHandleW(handle, final_path, MAX_PATH + 8, VOLUME_NAME_DOS);
    if (len == 0 || len >= MAX_PATH + 8)
        return;
    WCHAR led_to[QV_FOLDER_FORM_CHARS];
    if (!server_of(final_path, led_to)) {
        written_root(final_path, led_to);
        // A letter whose server a worker found counts as that server.
        remembered(led_to, led_to);
    }
    volume_key(path, written);
    if (_wcsicmp(led_to, written) != 0)
        remember(path, led_to, DRIVE_UNKNOWN);
}

void volume_answers_forget()
{
    AcquireSRWLockExclusive(&g_answers_lock);
    for (volume_answer &answer : g_answers)
        answer.used = false;
    ReleaseSRWLockExclusive(&g_answers_lock);
}
