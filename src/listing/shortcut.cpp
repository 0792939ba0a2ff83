// Resolution of a selected .lnk shortcut to the path it points to.
#include <shlobj.h>
#include <wchar.h>
#include "listing/shortcut.h"

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

DWORD ConvertShortcutTarget(WCHAR *path)
{
    if (!shortcut_name(path))
        return 0;

    IShellLinkW *link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)))
        return 1;
    IPersistFile *file = NULL;
    if (FAILED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        link->Release();
        return 1;
    }
    // An unreadable shortcut keeps its own path: it is then no folder and
    // gets no menu.  So does one whose target is not a full path (damaged or
    // crafted data, or a target too long for the link to store): taken as it
    // is, it would name a folder relative to the host's current folder.
    if (SUCCEEDED(file->Load(path, STGM_READ))) {
        WCHAR target[MAX_PATH];
        target[0] = 0;
        link->GetPath(target, MAX_PATH, NULL, SLGP_UNCPRIORITY);
        target[MAX_PATH - 1] = 0;
        if (is_full_path(target))
            wcscpy(path, target);
    }
    file->Release();
    link->Release();
    return 1;
}
