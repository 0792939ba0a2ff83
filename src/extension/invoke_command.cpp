// Command invocation: the chosen offset back to a listed entry, and the
// launch of that entry through the shell.
#include <string.h>
#include <wchar.h>
#include "extension/qv_shellex.h"
#include "common/trace.h"
#include "listing/folder_path.h"
#include "menu/shell_open.h"

// Room for a folder path, a backslash and a name.
#define QV_LAUNCH_PATH_CHARS 552

// Builds in `file` the entry's path "dir\name"; fails when it does not fit.
static bool join_path(WCHAR *file, const WCHAR *dir, size_t dir_len, const WCHAR *name)
{
    size_t name_len = wcslen(name);
    if (dir_len + 1 + name_len + 1 > QV_LAUNCH_PATH_CHARS)
        return false;
    memcpy(file, dir, dir_len * sizeof(WCHAR));
    file[dir_len] = L'\\';
    memcpy(file + dir_len + 1, name, (name_len + 1) * sizeof(WCHAR));
    return true;
}

// Launches entry `name` of the listing of the folder `listed`.
static HRESULT launch(HWND hwnd, const WCHAR *listed, const WCHAR *name, UINT last_input)
{
    size_t listed_len = wcsnlen(listed, MAX_PATH);
    if (listed_len == MAX_PATH)
        return E_INVALIDARG;
    // The working folder, and what "." opens: a bare drive "C:" would name
    // the host's current folder on C, so its root "C:\" stands for it.
    WCHAR folder[QV_FOLDER_FORM_CHARS];
    folder_form(listed, folder);
    WCHAR file[QV_LAUNCH_PATH_CHARS];
    wcscpy(file, folder);
    if (wcscmp(name, L"..") == 0) {
        // Launched relative to the working directory, the listed folder.
        wcscpy(file, L"..");
    } else if (wcscmp(name, L".") == 0) {
        // The overflow entry opens the listed folder itself.
    } else if (!join_path(file, listed, listed_len, name)) {
        return E_INVALIDARG;
    }

    const WCHAR *verb = NULL;
    if (last_input == WM_RBUTTONUP || (GetKeyState(VK_SHIFT) & 0x8000))
        verb = L"edit";
    trace("verb=%ls lpFile=%ls wd=%ls\n", verb, file, folder);
    // A failing launch is the shell's to report; the command was carried out.
    shell_open(hwnd, verb, file, NULL, folder);
    return S_OK;
}

STDMETHODIMP qv_shellex::InvokeCommand(CMINVOKECOMMANDINFO *pici)
{
    if (!pici || pici->cbSize < sizeof(CMINVOKECOMMANDINFO))
        return E_INVALIDARG;
    // Nothing was selected: there is no folder to launch from.
    if (!initialized())
        return E_UNEXPECTED;
    // A command offset is a value of at most 0xFFFF; anything else is a
    // pointer to a string verb, which is not supported (a pointer may have
    // bits 16 to 31 clear and higher ones set).
    UINT_PTR verb_value = (UINT_PTR)pici->lpVerb;
    if (verb_value > 0xFFFF)
        return E_INVALIDARG;
    UINT64 k = verb_value;

    // QueryContextMenu reserves nothing for an empty listing: no offset,
    // not even the logo's, belongs to a menu of ours.
    if (list.entry_count == 0)
        return E_INVALIDARG;
    // A later QueryContextMenu found that the path is no longer a folder:
    // what is there now is not what was listed, so nothing of this listing
    // is launched (not that file, and never with an entry's name as its
    // arguments).
    if (!is_dir)
        return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    // The session may be another thread's: the input it saw is read once.
    UINT last_input = session.last_input_msg;
    if (k < list.entry_count)
        return launch(pici->hwnd, path, list_name(&list, k), last_input);
    // An entry of a sub-folder's submenu, at any depth.
    WCHAR folder[MAX_PATH], name[MAX_PATH];
    if (session_entry(&session, (UINT)(session.first_cmd + k), folder, name))
        return launch(pici->hwnd, folder, name, last_input);
    if (k == list.entry_count) {  // the logo item
        WCHAR folder[QV_FOLDER_FORM_CHARS];
        folder_form(path, folder);
        shell_open(pici->hwnd, NULL, QV_HOME_PAGE, NULL, folder);
    }
    return E_INVALIDARG;
}

STDMETHODIMP qv_shellex::GetCommandString(UINT_PTR idCmd, UINT uType, UINT *pReserved, CHAR *pszName, UINT cchMax)
{
    (void)pReserved;
    if (idCmd != 0)
        return E_INVALIDARG;
    // Validation writes nothing; GCS_VERBA and GCS_VALIDATEA are not answered.
    if (uType == GCS_VALIDATEW)
        return S_OK;
    if (uType != GCS_HELPTEXTA && uType != GCS_HELPTEXTW && uType != GCS_VERBW)
        return E_INVALIDARG;
    // Every text answered is the empty one: it is written, or refused when
    // there is no room for it; never S_OK over a buffer left as it was.
    if (!pszName || cchMax == 0)
        return E_INVALIDARG;
    if (uType & GCS_UNICODE)
        *(WCHAR *)pszName = 0;
    else
        *pszName = 0;
    return S_OK;
}
