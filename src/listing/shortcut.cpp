// Resolution of a selected .lnk shortcut to the path it points to.
#include <shlobj.h>
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

// Reads the shortcut `path` and copies its target into `target` (MAX_PATH)
// when that is a full path.  An unreadable shortcut, or one whose target is
// not a full path (damaged or crafted data, or a target too long for the
// link to store), gives false: taken as it is, such a target would name a
// folder relative to the host's current folder.
static bool read_target(const WCHAR *path, WCHAR *target)
{
    IShellLinkW *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)))
        return false;
    IPersistFile *file = NULL;
    bool read = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        if (SUCCEEDED(file->Load(path, STGM_READ))) {
            target[0] = 0;
            link->GetPath(target, MAX_PATH, NULL, SLGP_UNCPRIORITY);
            target[MAX_PATH - 1] = 0;
            read = is_full_path(target);
        }
        file->Release();
    }
    link->Release();
    return read;
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
