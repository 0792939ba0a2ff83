// Self-registration: the registration table, its expansion, and the exports
// DllRegisterServer and DllUnregisterServer.
#include <windows.h>
#include <olectl.h>
#include <shlwapi.h>
#include "module/registration.h"
#include "common/module_state.h"
#include "common/qv_clsid.h"

// One ANSI record per entry: a marker (" " for a normal entry, "-" for one
// that is only ever removed), a root byte (1 HKEY_CURRENT_USER,
// 2 HKEY_LOCAL_MACHINE), then three NUL-terminated templates: key path,
// value name (empty: the key's default value) and data.
#define QV_ENTRY(marker, root, key, name, data) marker root key "\0" name "\0" data

static const char *const registry_table[] = {
    QV_ENTRY(" ", "\1", "Software\\Classes\\CLSID\\$0", "", "$1"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\CLSID\\$0\\InprocServer32", "", "$2"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\CLSID\\$0\\InprocServer32", "ThreadingModel", "Apartment"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\Directory\\shellex\\ContextMenuHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\Drive\\shellex\\ContextMenuHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\lnkfile\\shellex\\ContextMenuHandlers\\$1", "", "$0"),
    QV_ENTRY("-", "\1", "Software\\Classes\\batfile\\shellex\\ContextMenuHandlers\\$1", "", "$0"),
    QV_ENTRY("-", "\1", "Software\\Classes\\cmdfile\\shellex\\ContextMenuHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\Directory\\shellex\\DragDropHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\Drive\\shellex\\DragDropHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\1", "Software\\Classes\\lnkfile\\shellex\\DragDropHandlers\\$1", "", "$0"),
    QV_ENTRY(" ", "\2", "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", "$0", "$1"),
    // Explorer loads only handlers that opt in when the selection holds
    // cloud files that are not fully local (DFMR_OPTIN_HANDLERS_ONLY); the
    // value's presence is the opt-in, its data is not read.  Last, so that
    // the other entries keep their places; removed with the CLSID key.
    QV_ENTRY(" ", "\1", "Software\\Classes\\CLSID\\$0", "ContextMenuOptIn", ""),
};

qv_expansion expand_template(WCHAR *destination, size_t capacity, const char *templ,
                             const WCHAR *const values[3])
{
    qv_expansion result = {NULL, NULL, 0, false};
    size_t room = capacity ? capacity - 1 : 0;  // characters that fit before the NUL
    size_t used = 0;
    const unsigned char *p = (const unsigned char *)templ;
    for (; *p; p++) {
        const WCHAR *value = NULL;
        WCHAR single[2] = {*p, 0};  // bytes widen without a code page
        // p[1] is at most this template's NUL, never beyond it.
        if (p[0] == '$' && p[1] >= '0' && p[1] <= '2') {
            value = values[p[1] - '0'];
            result.replaced++;
            p++;
        } else {
            value = single;
        }
        for (; value && *value; value++) {
            if (used < room)
                destination[used++] = *value;
            else
                result.truncated = true;
        }
    }
    if (capacity) {
        destination[used] = 0;
        result.end = destination + used;
    } else {
        result.truncated = true;
    }
    result.next = (const char *)p + 1;
    return result;
}

// One record expanded for one mode, with room for the longest expansion.
struct table_entry {
    HKEY root;
    int key_placeholders;
    bool truncated;
    size_t data_length;
    WCHAR key[1024];
    WCHAR name[256];
    WCHAR data[1024];
};

static void expand_entry(const char *record, DWORD mode, const WCHAR *const values[3], table_entry *entry)
{
    // 0x80000000 with the root byte, sign-extended as the platform defines
    // HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE.
    entry->root = (HKEY)(ULONG_PTR)(LONG)(0x80000000u | (unsigned char)record[1]);
    if (entry->root == HKEY_CURRENT_USER && (mode & QV_REG_MACHINE))
        entry->root = HKEY_LOCAL_MACHINE;
    qv_expansion key = expand_template(entry->key, ARRAYSIZE(entry->key), record + 2, values);
    qv_expansion name = expand_template(entry->name, ARRAYSIZE(entry->name), key.next, values);
    qv_expansion data = expand_template(entry->data, ARRAYSIZE(entry->data), name.next, values);
    entry->key_placeholders = key.replaced;
    entry->truncated = key.truncated || name.truncated || data.truncated;
    entry->data_length = (size_t)(data.end - entry->data);
}

DWORD registry_table_visit(DWORD mode, const WCHAR *module_path, qv_registry_visitor visit, void *context)
{
    WCHAR clsid[40];
    const CLSID &id = CLSID_QuorvaneShellex;
    wsprintfW(clsid, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned)id.Data1,
              id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4],
              id.Data4[5], id.Data4[6], id.Data4[7]);
    const WCHAR *values[3] = {clsid, (mode & QV_REG_LEGACY) ? QV_LEGACY_HANDLER_NAME : QV_HANDLER_NAME,
                              module_path};

    DWORD first_error = ERROR_SUCCESS;
    for (const char *record : registry_table) {
        if (record[0] == '-' && !(mode & QV_REG_REMOVE))
            continue;
        table_entry entry;
        expand_entry(record, mode, values, &entry);
        DWORD error;
        if (entry.truncated) {
            error = ERROR_INSUFFICIENT_BUFFER;  // never hand out a cut-short name
        } else {
            qv_registry_entry visited = {entry.root, entry.key, entry.name, entry.data, entry.data_length,
                                         entry.key_placeholders > 0};
            error = visit(&visited, context);
        }
        if (error && !first_error)
            first_error = error;
    }
    return first_error;
}

static DWORD write_entry(const qv_registry_entry *entry, void *)
{
    return (DWORD)SHSetValueW(entry->root, entry->key, entry->name, REG_SZ, entry->data,
                              (DWORD)((entry->data_length + 1) * sizeof(WCHAR)));
}

// A key with a placeholder in its path is ours to delete (only when it has
// no subkeys left); a key without one is shared (the approved list) and
// loses only our value.  Something already gone is no error.
static DWORD remove_entry(const qv_registry_entry *entry, void *)
{
    LSTATUS error = entry->key_is_ours ? RegDeleteKeyW(entry->root, entry->key)
                                       : SHDeleteValueW(entry->root, entry->key, entry->name);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    return (DWORD)error;
}

// The module's own path for $2.  A path cut short at MAX_PATH would register
// a file that does not exist, so it is an error like a failed call.
static DWORD read_module_path(WCHAR path[MAX_PATH])
{
    SetLastError(ERROR_SUCCESS);
    DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0) {
        DWORD error = GetLastError();
        return error ? error : ERROR_MOD_NOT_FOUND;
    }
    if (length >= MAX_PATH)
        return ERROR_INSUFFICIENT_BUFFER;
    return ERROR_SUCCESS;
}

HRESULT apply_registry_table(DWORD mode)
{
    bool removing = (mode & QV_REG_REMOVE) != 0;
    // Removal never needs the module's path.
    WCHAR module[MAX_PATH] = L"";
    if (!removing) {
        DWORD error = read_module_path(module);
        if (error)
            return HRESULT_FROM_WIN32(error);
    }
    return HRESULT_FROM_WIN32(registry_table_visit(mode, module, removing ? remove_entry : write_entry, NULL));
}

extern "C" HRESULT WINAPI DllRegisterServer(void)
{
    return apply_registry_table(QV_REG_MACHINE);
}

// Legacy name in the user hive, legacy name machine-wide, then the current
// name in both.
static const DWORD removal_passes[] = {
    QV_REG_REMOVE | QV_REG_LEGACY,
    QV_REG_REMOVE | QV_REG_LEGACY | QV_REG_MACHINE,
    QV_REG_REMOVE,
    QV_REG_REMOVE | QV_REG_MACHINE,
};

extern "C" HRESULT WINAPI DllUnregisterServer(void)
{
    // The first pass over a hive cannot delete the CLSID key: its
    // InprocServer32 subkey comes later in the table.  So the errors of the
    // first round mean nothing; a second round finds only what the first
    // could not remove, and whatever still fails to go is a real failure.
    for (DWORD mode : removal_passes)
        apply_registry_table(mode);
    HRESULT result = S_OK;
    for (DWORD mode : removal_passes) {
        HRESULT hr = apply_registry_table(mode);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}
