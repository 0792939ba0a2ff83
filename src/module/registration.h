// Self-registration: one table of registry entries, written by
// DllRegisterServer and removed by DllUnregisterServer.
#pragma once
#include <windows.h>
#include <stddef.h>

// Mode bits of apply_registry_table.
#define QV_REG_REMOVE 0x1   // remove the entries instead of writing them
#define QV_REG_MACHINE 0x2  // user-hive entries go to HKEY_LOCAL_MACHINE
#define QV_REG_LEGACY 0x4   // the legacy handler name stands for $1

// Handler names, $1 of the table.
#define QV_HANDLER_NAME L"quorvane-shellex"
#define QV_LEGACY_HANDLER_NAME L"QuorVane"

struct qv_expansion {
    WCHAR *end;        // the NUL written into the destination; null when capacity is 0
    const char *next;  // the byte after the template's NUL: the next template
    int replaced;      // placeholders replaced
    bool truncated;    // the text did not fit and was cut short
};

// Expands one NUL-terminated ANSI template into `destination`, which holds
// `capacity` characters.  "$0", "$1" and "$2" insert values[0..2] (a null
// value inserts nothing); any other "$" is written as it stands, and every
// byte widens to the UTF-16 code unit of the same value.  The template is
// always read up to its NUL and never beyond; the destination is always
// NUL-terminated (when capacity > 0) and never written past its capacity.
qv_expansion expand_template(WCHAR *destination, size_t capacity, const char *templ,
                             const WCHAR *const values[3]);

// One table entry expanded for one mode, as a visitor sees it.
struct qv_registry_entry {
    HKEY root;          // HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE, after the machine-wide bit
    const WCHAR *key;
    const WCHAR *name;  // empty: the key's default value
    const WCHAR *data;
    size_t data_length;  // characters of data, without the NUL
    bool key_is_ours;    // the key path holds a placeholder: the whole key belongs to the extension
};

// Called once per entry; a non-zero result is remembered as an error and the
// walk goes on.
typedef DWORD (*qv_registry_visitor)(const qv_registry_entry *entry, void *context);

// Walks the registration table in one mode, with `module_path` standing for
// $2 (the CLSID and the handler name of the mode fill $0 and $1).  Entries
// that are only ever removed are visited only in remove mode; an entry whose
// expansion does not fit is never visited and counts as
// ERROR_INSUFFICIENT_BUFFER.  Returns the first error, or ERROR_SUCCESS.
DWORD registry_table_visit(DWORD mode, const WCHAR *module_path, qv_registry_visitor visit, void *context);

// Walks the registration table in one mode.  Writing: fails without touching
// the registry when the module's path is unavailable or does not fit in
// MAX_PATH; otherwise writes every entry it can and returns the first error.
// Removing: returns the first error other than "not found" (a key that still
// has subkeys is one), and goes on with the other entries either way.
HRESULT apply_registry_table(DWORD mode);
