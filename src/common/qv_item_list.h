// Storage of a folder listing: a pool of NUL-terminated wide names and an
// array of (name offset, icon, attributes) records.  A listing holds no GDI
// object: its icons are indices in the system image list of small icons,
// made into pictures only when a menu shows them.
#pragma once
#include <windows.h>
#include <stddef.h>

// An entry without an icon.
#define QV_NO_ICON (-1)

// Where an entry's icon comes from.  A listing first gives every entry the
// picture of its type, known without touching the item; entries whose
// picture the item itself decides get their own later, if time and the
// rules allow.
enum qv_icon_kind : BYTE {
    qv_icon_type = 0,      // its type's, which is all it shows (a text file, an offline item)
    qv_icon_type_for_now,  // its type's until its own is looked up (a program, a shortcut)
    qv_icon_own,           // decided by the item itself and final (a shortcut naming another
                           // volume: its target's type's, read from the shortcut alone)
};

struct qv_entry {
    UINT64 name_offset;  // index in the pool of the name's first character
    int icon;            // index in the system image list of small icons, or QV_NO_ICON
    DWORD attributes;    // the item's attributes as enumerated; 0 when not known
    qv_icon_kind icon_kind;
};

// A completed listing keeps one uncounted sentinel record at entries[entry_count]
// whose name_offset is one past the last counted name's NUL.
struct qv_item_list {
    WCHAR *pool;
    UINT64 pool_used;      // characters in use, NULs included
    UINT64 pool_capacity;  // characters allocated
    qv_entry *entries;
    UINT64 entry_count;
    UINT64 entry_capacity;
};

// Capacity that an array of `capacity` elements of `elem_size` bytes, with
// `used` in use, must grow to so that `needed` more fit.  Returns 0 when the
// sizes overflow; returns `capacity` itself when it is already large enough.
UINT64 list_grown_capacity(UINT64 used, UINT64 capacity, UINT64 needed, size_t elem_size);

void list_clear(qv_item_list *list);
// Appends a name of `len` characters (no NUL needed) and a record for it.
// Returns nonzero when appended; a failed growth leaves the list as it was.
int list_append_name(qv_item_list *list, const WCHAR *name, UINT64 len);
// Widens ANSI `text` with the ANSI code page and appends it.
int list_append_ansi(qv_item_list *list, const char *text);
// Makes room for `chars` more characters and `records` more records;
// failures are ignored.
void list_reserve(qv_item_list *list, UINT64 chars, UINT64 records);

// Appends copies of `count` entries of `from` (at most all of them), those
// whose indices `order` gives in turn, or the first ones when it is null:
// names, attributes, and for the first `icons` copied their icons (with
// their kind).  Stops at
// the first that cannot be appended; returns how many were.  No sentinel is
// added.
UINT64 list_copy_entries(qv_item_list *to, const qv_item_list *from, const UINT64 *order, UINT64 count,
                         UINT64 icons);

// Entries that have an icon.
UINT64 list_icon_count(const qv_item_list *list);

// Name of entry i (NUL-terminated inside the pool).
inline WCHAR *list_name(const qv_item_list *list, UINT64 i)
{
    return list->pool + list->entries[i].name_offset;
}
