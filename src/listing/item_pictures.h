// The pictures of listed items.  Every entry first gets the picture of its
// type, known without touching the item; only items that decide their own
// picture (programs, icon files, shortcuts, folders that may carry a
// desktop.ini, types whose icon is the file's own) are looked up one by one,
// and only from the listed folder's volume: a shortcut, an Internet shortcut
// or a desktop.ini that names another server or volume shows the picture of
// the type it names, and what it names is never opened for a picture.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "common/qv_item_list.h"

// Distinct types whose picture the process keeps; past them a type's picture
// is looked up each time it is asked for.
#define QV_MAX_TYPE_PICTURES 256

// The picture of the type of an item named `name` with the enumeration
// attributes `attributes`: its index in the system image list of small
// icons, or QV_NO_ICON.  Touches neither the item nor its folder: the
// shell answers from the name's extension and the attributes alone, once
// per type for the process.  `kind`, when given, tells whether that is all
// the item shows (qv_icon_type) or the item may show its own
// (qv_icon_type_for_now): a type whose picture is per item, or a folder
// that may carry a desktop.ini (read-only or system), when the attributes
// allow the item to be opened at all.
int type_picture(const WCHAR *name, DWORD attributes, qv_icon_kind *kind);
// Types whose picture is kept now.
UINT type_pictures_kept();
// Forgets every kept type picture (the module is unloaded).
void type_pictures_drop_all();

// Where the listed folder's items are: its path, to which a name is joined,
// its volume, and its shell folder, from which an item's picture is found
// by its name alone.
struct qv_item_place {
    WCHAR full_path[MAX_PATH * 2 + 32];
    size_t dir_len;
    WCHAR volume[MAX_PATH + 1];
    IShellFolder *folder;  // null when it cannot be had: pictures by path then
};
void open_item_place(qv_item_place *place, const WCHAR *dir);
void close_item_place(qv_item_place *place);

// The picture the item `name` of the folder at `place` decides for itself,
// or QV_NO_ICON when it has none (its type's stays).  A shortcut whose
// target or icon lies on another volume (a share, another drive) gets its
// target's type's picture, from the shortcut alone; an Internet shortcut or
// a folder's desktop.ini that names another volume keeps its type's.
int own_picture(qv_item_place *place, const WCHAR *name, DWORD attributes);

// The shell's own picture of the item `name` at `path`, found through
// `folder`, the shell folder that holds it, when given, else through the
// path; an item whose enumeration attributes say it must not be opened gets
// its type's.  Only for items of the listed folder's volume.
int item_icon(IShellFolder *folder, const WCHAR *path, const WCHAR *name, DWORD attributes);
// What own_picture calls to ask the shell: item_icon, or a test's stand-in.
extern int (*g_icon_lookup)(IShellFolder *folder, const WCHAR *path, const WCHAR *name, DWORD attributes);
