// Resolution of a selected .lnk shortcut to the path it points to.
#include <shlobj.h>
#include <string.h>
#include <wchar.h>
#include "listing/shortcut.h"
#include "listing/folder_path.h"

// A drive path with its root ("C:\...") or a UNC name ("\\server\...").
static bool is_full_path(const WCHAR *p)
{
    if (p[0] == L'\\' && p[1] == L'\\')
        return true;
    WCHAR drive = p[0] | 0x20;
    return drive >= L'a' && drive <= L'z' && p[1] == L':' && p[2] == L'\\';
}

bool shortcut_name(const WCHAR *path)
{
    size_t n = wcslen(path);
    return n >= 5 && _wcsicmp(path + n - 4, L".lnk") == 0;
}

// The shortcut `path`, loaded (nothing of its target is read), or null.
static IShellLinkW *load_link(const WCHAR *path)
{
    IShellLinkW *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)))
        return NULL;
    IPersistFile *file = NULL;
    bool loaded = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        loaded = SUCCEEDED(file->Load(path, STGM_READ));
        file->Release();
    }
    if (!loaded) {
        link->Release();
        return NULL;
    }
    return link;
}

// Reads the shortcut `path` and copies its target into `target` (MAX_PATH)
// when that is a full path.  An unreadable shortcut, or one whose target is
// not a full path (damaged or crafted data, or a target too long for the
// link to store), gives false: taken as it is, such a target would name a
// folder relative to the host's current folder.
static bool read_target(const WCHAR *path, WCHAR *target)
{
    IShellLinkW *link = load_link(path);
    if (!link)
        return false;
    target[0] = 0;
    link->GetPath(target, MAX_PATH, NULL, SLGP_UNCPRIORITY);
    target[MAX_PATH - 1] = 0;
    link->Release();
    return is_full_path(target);
}

DWORD ConvertShortcutTarget(WCHAR *path)
{
    if (!shortcut_name(path))
        return 0;
    // An unreadable shortcut keeps its own path: it is then no folder and
    // gets no menu.
    WCHAR target[MAX_PATH];
    if (read_target(path, target))
        wcscpy(path, target);
    return 1;
}

bool shortcut_target_attributes(const WCHAR *path, WCHAR *target, DWORD *attributes)
{
    if (!shortcut_name(path) || !read_target(path, target))
        return false;
    *attributes = enumeration_attributes(target);
    return *attributes != INVALID_FILE_ATTRIBUTES;
}

// The target's attributes that the shortcut `path` recorded when it was
// made, from the header of the .lnk format, or 0.
static DWORD recorded_attributes(const WCHAR *path)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    // HeaderSize (0x4C), the link CLSID, LinkFlags, then FileAttributes.
    BYTE header[0x4C] = {};
    DWORD read = 0;
    BOOL ok = ReadFile(file, header, sizeof(header), &read, NULL);
    CloseHandle(file);
    DWORD size, attributes;
    memcpy(&size, header, sizeof(size));
    memcpy(&attributes, header + 24, sizeof(attributes));
    return ok && read == sizeof(header) && size == sizeof(header) ? attributes : 0;
}

bool read_shortcut_picture(const WCHAR *path, qv_shortcut_picture *picture)
{
    memset(picture, 0, sizeof(*picture));
    IShellLinkW *link = shortcut_name(path) ? load_link(path) : NULL;
    if (!link)
        return false;
    // Without a WIN32_FIND_DATAW: asked for one, some shells look at the
    // target itself.
    if (link->GetPath(picture->target, MAX_PATH, NULL, SLGP_UNCPRIORITY) == S_OK)
        picture->target[MAX_PATH - 1] = 0;
    if (!is_full_path(picture->target))
        picture->target[0] = 0;
    picture->target_attributes = recorded_attributes(path);
    WCHAR location[MAX_PATH] = L"";
    int index = 0;
    if (SUCCEEDED(link->GetIconLocation(location, MAX_PATH, &index)) && location[0]) {
        location[MAX_PATH - 1] = 0;
        DWORD n = ExpandEnvironmentStringsW(location, picture->icon_file, MAX_PATH);
        if (n == 0 || n > MAX_PATH)
            wcscpy(picture->icon_file, location);
    }
    link->Release();
    return true;
}
