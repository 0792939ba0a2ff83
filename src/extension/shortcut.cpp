// Resolution of a selected .lnk shortcut to the path it points to.
#include <shlobj.h>
#include <wchar.h>
#include "shortcut.h"

DWORD ConvertShortcutTarget(WCHAR *path)
{
    size_t n = wcslen(path);
    if (n < 5 || _wcsicmp(path + n - 4, L".lnk") != 0)
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
    // gets no menu.
    if (SUCCEEDED(file->Load(path, STGM_READ))) {
        link->GetPath(path, MAX_PATH, NULL, SLGP_UNCPRIORITY);
        path[MAX_PATH - 1] = 0;
    }
    file->Release();
    link->Release();
    return 1;
}
