// Command invocation: the chosen offset back to a listed entry, and the
// launch of that entry through the shell.
#include <string.h>
#include <wchar.h>
#include "common/qv_shellex.h"
#include "common/trace.h"
#include "extension/folder_path.h"
#include "menu/shell_open.h"
#include "module/menu_state.h"

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

    size_t path_len = wcsnlen(path, MAX_PATH);
    if (path_len == MAX_PATH)
        return E_INVALIDARG;

    // QueryContextMenu reserves nothing for an empty listing: no offset,
    // not even the logo's, belongs to a menu of ours.
    if (list.entry_count == 0)
        return E_INVALIDARG;
    if (k >= list.entry_count) {
        if (k == list.entry_count) {  // the logo item
            WCHAR folder[QV_FOLDER_FORM_CHARS];
            folder_form(path, folder);
            shell_open(pici->hwnd, NULL, QV_HOME_PAGE, NULL, folder);
        }
        return E_INVALIDARG;
    }

    WCHAR *name = list_name(&list, k);
    // The working folder, and what "." opens: a bare drive "C:" would name
    // the host's current folder on C, so its root "C:\" stands for it.
    WCHAR folder[QV_FOLDER_FORM_CHARS];
    folder_form(path, folder);
    WCHAR file[QV_LAUNCH_PATH_CHARS];
    wcscpy(file, folder);
    const WCHAR *parameters = NULL;
    if (is_dir) {
        if (wcscmp(name, L"..") == 0) {
            // Launched relative to the working directory, the listed folder.
            wcscpy(file, L"..");
        } else if (wcscmp(name, L".") == 0) {
            // The overflow entry opens the listed folder itself.
        } else if (!join_path(file, path, path_len, name)) {
            return E_INVALIDARG;
        }
    } else {
        // The listing is an earlier one's and `path` is no longer a folder.
        parameters = name;
    }

    const WCHAR *verb = NULL;
    if (menu_last_input() == WM_RBUTTONUP || (GetKeyState(VK_SHIFT) & 0x8000))
        verb = L"edit";
    trace("verb=%ls lpFile=%ls args=%ls wd=%ls\n", verb, file, parameters, folder);
    // A failing launch is the shell's to report; the command was carried out.
    shell_open(pici->hwnd, verb, file, parameters, folder);
    return S_OK;
}

STDMETHODIMP qv_shellex::GetCommandString(UINT_PTR idCmd, UINT uType, UINT *pReserved, CHAR *pszName, UINT cchMax)
{
    (void)pReserved;
    if (idCmd != 0)
        return E_INVALIDARG;
    if (!(uType & (GCS_HELPTEXTA | GCS_UNICODE)))
        return E_INVALIDARG;
    if (uType & GCS_UNICODE) {
        if (pszName && cchMax)
            lstrcpynW((WCHAR *)pszName, L"", (int)cchMax);
        else if (!(uType & GCS_VALIDATEA))
            return E_INVALIDARG;  // a text was asked for, with no room for it
    }
    return S_OK;
}
