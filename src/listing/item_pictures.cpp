// The pictures of listed items: type pictures kept per type for the
// process, and the rules for an item's own picture.
#include "listing/item_pictures.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <string.h>
#include <wchar.h>
#include "listing/folder_listing.h"
#include "listing/folder_path.h"
#include "listing/shortcut.h"

// Extensions kept, the dot included, lower case; longer ones are looked up
// each time.
#define TYPE_KEY_CHARS 16

struct type_entry {
    WCHAR key[TYPE_KEY_CHARS];  // ".txt"; "" for a file without extension
    bool folder;
    bool per_item;  // the item's own picture may differ from its type's
    int icon;
};

// Workers of every listing ask at once: every access holds the lock.
static SRWLOCK g_types_lock = SRWLOCK_INIT;
static type_entry g_types[QV_MAX_TYPE_PICTURES];
static UINT g_type_count;

int (*g_icon_lookup)(IShellFolder *folder, const WCHAR *path, const WCHAR *name, DWORD attributes) = item_icon;

// Types whose icon is drawn from each file, whatever the registry says.
static bool per_item_extension(const WCHAR *key)
{
    static const WCHAR *const per_item[] = {L".exe", L".ico", L".cur", L".ani", L".lnk",
                                            L".url", L".scr", L".cpl", L".msc"};
    for (const WCHAR *known : per_item) {
        if (!wcscmp(key, known))
            return true;
    }
    return false;
}

// Whether the class `key` of HKEY_CLASSES_ROOT gives each file its own icon:
// its DefaultIcon is the file itself ("%1"), or an icon handler decides.
static bool class_picks_per_item(const WCHAR *key)
{
    WCHAR sub[MAX_PATH], value[MAX_PATH];
    DWORD size = sizeof(value);
    if (_snwprintf(sub, MAX_PATH, L"%ls\\DefaultIcon", key) < 0)
        return false;
    sub[MAX_PATH - 1] = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, sub, NULL, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, value,
                     &size) == ERROR_SUCCESS) {
        const WCHAR *v = value[0] == L'"' ? value + 1 : value;
        if (!wcsncmp(v, L"%1", 2))
            return true;
    }
    HKEY handler = NULL;
    if (_snwprintf(sub, MAX_PATH, L"%ls\\shellex\\IconHandler", key) < 0)
        return false;
    sub[MAX_PATH - 1] = 0;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, sub, 0, KEY_READ, &handler) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handler);
    return true;
}

// Whether files with the extension `key` may each have their own picture:
// the extension's class or the program class it names says so.
static bool type_picks_per_item(const WCHAR *key)
{
    if (!key[0])
        return false;
    if (per_item_extension(key) || class_picks_per_item(key))
        return true;
    WCHAR program[MAX_PATH];
    DWORD size = sizeof(program);
    return RegGetValueW(HKEY_CLASSES_ROOT, key, NULL, RRF_RT_REG_SZ, NULL, program, &size) == ERROR_SUCCESS &&
           program[0] && class_picks_per_item(program);
}

// Asks the shell for a type's picture by a made-up name: with
// SHGFI_USEFILEATTRIBUTES it reads no file.  A type whose picture is per
// item gets that of a file without type: asked for such a type by name,
// some shells still open that name to draw it.
static int look_up_type(const WCHAR *key, bool folder, bool per_item)
{
    WCHAR name[TYPE_KEY_CHARS + 8] = L"file";
    if (!folder && !per_item)
        wcscat(name, key);
    SHFILEINFOW info;
    memset(&info, 0, sizeof(info));
    DWORD attributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (!SHGetFileInfoW(name, attributes, &info, sizeof(info),
                        SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return QV_NO_ICON;
    return info.iIcon >= 0 ? info.iIcon : QV_NO_ICON;
}

static const type_entry *find_type(const WCHAR *key, bool folder)
{
    for (UINT i = 0; i < g_type_count; i++) {
        if (g_types[i].folder == folder && !wcscmp(g_types[i].key, key))
            return &g_types[i];
    }
    return NULL;
}

// The entry of the type `key` (or of folders), kept from before or looked
// up now and kept while there is room.
static type_entry type_of(const WCHAR *key, bool folder)
{
    type_entry entry = {};
    AcquireSRWLockShared(&g_types_lock);
    const type_entry *kept = find_type(key, folder);
    if (kept)
        entry = *kept;
    ReleaseSRWLockShared(&g_types_lock);
    if (kept)
        return entry;
    // The shell and the registry are asked without the lock: another
    // thread may ask for the same type meanwhile, and the first kept wins.
    wcscpy(entry.key, key);
    entry.folder = folder;
    entry.per_item = !folder && type_picks_per_item(key);
    entry.icon = look_up_type(key, folder, entry.per_item);
    AcquireSRWLockExclusive(&g_types_lock);
    kept = find_type(key, folder);
    if (kept)
        entry = *kept;
    else if (g_type_count < QV_MAX_TYPE_PICTURES)
        g_types[g_type_count++] = entry;
    ReleaseSRWLockExclusive(&g_types_lock);
    return entry;
}

int type_picture(const WCHAR *name, DWORD attributes, qv_icon_kind *kind)
{
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    WCHAR key[TYPE_KEY_CHARS] = L"";
    if (!folder) {
        const WCHAR *extension = PathFindExtensionW(name);
        size_t len = wcslen(extension);
        // An extension too long to keep is looked up by a key that no
        // kept type has: each time.
        wcsncpy(key, extension, TYPE_KEY_CHARS - 1);
        key[TYPE_KEY_CHARS - 1] = 0;
        CharLowerBuffW(key, (DWORD)wcslen(key));
        if (len >= TYPE_KEY_CHARS) {
            bool per_item = type_picks_per_item(extension);
            if (kind)
                *kind = per_item && item_may_be_opened(attributes) ? qv_icon_type_for_now : qv_icon_type;
            return look_up_type(L"", false, true);
        }
    }
    type_entry type = type_of(key, folder);
    bool may_own = folder ? (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM)) != 0 : type.per_item;
    if (kind)
        *kind = may_own && item_may_be_opened(attributes) ? qv_icon_type_for_now : qv_icon_type;
    return type.icon;
}

UINT type_pictures_kept()
{
    AcquireSRWLockShared(&g_types_lock);
    UINT kept = g_type_count;
    ReleaseSRWLockShared(&g_types_lock);
    return kept;
}

void type_pictures_drop_all()
{
    AcquireSRWLockExclusive(&g_types_lock);
    g_type_count = 0;
    ReleaseSRWLockExclusive(&g_types_lock);
}

void open_item_place(qv_item_place *place, const WCHAR *dir)
{
    size_t dir_len = wcsnlen(dir, MAX_PATH - 1);
    wmemcpy(place->full_path, dir, dir_len);
    place->full_path[dir_len] = L'\\';
    place->full_path[dir_len + 1] = 0;
    place->dir_len = dir_len;
    place->folder = NULL;
    volume_of(dir, place->volume);
    WCHAR form[QV_FOLDER_FORM_CHARS];
    folder_form(dir, form);
    PIDLIST_ABSOLUTE pidl = NULL;
    IShellFolder *desktop = NULL;
    if (SUCCEEDED(SHParseDisplayName(form, NULL, &pidl, 0, NULL)) && SUCCEEDED(SHGetDesktopFolder(&desktop)))
        desktop->BindToObject(pidl, NULL, IID_IShellFolder, (void **)&place->folder);
    if (desktop)
        desktop->Release();
    CoTaskMemFree(pidl);
}

void close_item_place(qv_item_place *place)
{
    if (place->folder)
        place->folder->Release();
    place->folder = NULL;
}

// The picture of the item `name` of `folder`, found from its name alone, or
// QV_NO_ICON.
static int child_icon(IShellFolder *folder, const WCHAR *name)
{
    WCHAR display_name[MAX_PATH];
    if (!folder || wcslen(name) >= MAX_PATH)
        return QV_NO_ICON;
    wcscpy(display_name, name);
    PIDLIST_RELATIVE child = NULL;
    if (FAILED(folder->ParseDisplayName(NULL, NULL, display_name, NULL, &child, NULL)) || !child)
        return QV_NO_ICON;
    int icon = SHMapPIDLToSystemImageListIndex(folder, (PCUITEMID_CHILD)child, NULL);
    CoTaskMemFree(child);
    return icon >= 0 ? icon : QV_NO_ICON;
}

int item_icon(IShellFolder *folder, const WCHAR *path, const WCHAR *name, DWORD attributes)
{
    if (!item_may_be_opened(attributes))
        return type_picture(name, attributes, NULL);
    // A shortcut's picture is its target's, which the shell finds for a
    // path (through the folder it may pick another picture).
    int icon = shortcut_name(path) ? QV_NO_ICON : child_icon(folder, name);
    if (icon != QV_NO_ICON)
        return icon;
    SHFILEINFOW info;
    memset(&info, 0, sizeof(info));
    if (!SHGetFileInfoW(path, 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return QV_NO_ICON;
    return info.iIcon;
}

// Whether `path` lies on the listed folder's volume.  A path without drive
// or share is taken as relative to the listed folder when `relative_here`,
// else as lying anywhere.
static bool on_listed_volume(const qv_item_place *place, const WCHAR *path, bool relative_here)
{
    bool unc = path[0] == L'\\' && path[1] == L'\\';
    bool drive = path[0] && path[1] == L':';
    if (!unc && !drive)
        return relative_here && path[0] != L'\\';
    WCHAR volume[QV_FOLDER_FORM_CHARS];
    volume_of(path, volume);
    return _wcsicmp(volume, place->volume) == 0;
}

// The file named by an icon resource "file,index" or "file".
static void icon_file_of(const WCHAR *resource, WCHAR *file)
{
    WCHAR copy[MAX_PATH];
    wcsncpy(copy, resource, MAX_PATH - 1);
    copy[MAX_PATH - 1] = 0;
    WCHAR *comma = wcsrchr(copy, L',');
    if (comma)
        *comma = 0;
    PathUnquoteSpacesW(copy);
    DWORD n = ExpandEnvironmentStringsW(copy, file, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        wcscpy(file, copy);
}

static const WCHAR *file_name_of(const WCHAR *path)
{
    const WCHAR *slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// A shortcut's picture is its target's, or its own icon's.  Both are only
// ever opened when they lie on the listed folder's volume; otherwise the
// shortcut shows its target's type, read from the shortcut alone.
static int shortcut_picture(qv_item_place *place, const WCHAR *path, const WCHAR *name, DWORD attributes)
{
    qv_shortcut_picture link;
    if (!read_shortcut_picture(path, &link) || !link.target[0])
        return QV_NO_ICON;  // no path to show the type of: a shortcut's own type
    DWORD recorded = link.target_attributes ? link.target_attributes : FILE_ATTRIBUTE_NORMAL;
    if (!on_listed_volume(place, link.target, false) ||
        (link.icon_file[0] && !on_listed_volume(place, link.icon_file, false)))
        return type_picture(file_name_of(link.target), recorded, NULL);
    if (!link.icon_file[0]) {
        // The target's type decides, unless it may have a picture of its
        // own; a target only in the cloud is never opened.
        DWORD target_attributes = enumeration_attributes(link.target);
        if (target_attributes == INVALID_FILE_ATTRIBUTES)
            target_attributes = recorded;
        qv_icon_kind kind;
        int icon = type_picture(file_name_of(link.target), target_attributes, &kind);
        if (kind == qv_icon_type)
            return icon;
    }
    return g_icon_lookup(place->folder, path, name, attributes);
}

// An Internet shortcut's picture is its own only from an icon file on the
// listed folder's volume, for an address that names no file share.
static int internet_shortcut_picture(qv_item_place *place, const WCHAR *path, const WCHAR *name, DWORD attributes)
{
    WCHAR icon[MAX_PATH], file[MAX_PATH], url[64];
    GetPrivateProfileStringW(L"InternetShortcut", L"IconFile", L"", icon, MAX_PATH, path);
    GetPrivateProfileStringW(L"InternetShortcut", L"URL", L"", url, 64, path);
    if (!icon[0] || !_wcsnicmp(url, L"file:", 5) || (url[0] == L'\\' && url[1] == L'\\'))
        return QV_NO_ICON;
    icon_file_of(icon, file);
    if (!on_listed_volume(place, file, false))
        return QV_NO_ICON;
    return g_icon_lookup(place->folder, path, name, attributes);
}

// A folder's picture is its own only when its desktop.ini names an icon on
// the listed folder's volume (or one relative to the folder).
static int folder_picture(qv_item_place *place, const WCHAR *path, const WCHAR *name, DWORD attributes)
{
    WCHAR ini[MAX_PATH], resource[MAX_PATH], file[MAX_PATH];
    if (_snwprintf(ini, MAX_PATH, L"%ls\\desktop.ini", path) < 0)
        return QV_NO_ICON;
    ini[MAX_PATH - 1] = 0;
    GetPrivateProfileStringW(L".ShellClassInfo", L"IconResource", L"", resource, MAX_PATH, ini);
    if (!resource[0])
        GetPrivateProfileStringW(L".ShellClassInfo", L"IconFile", L"", resource, MAX_PATH, ini);
    if (!resource[0])
        return QV_NO_ICON;
    icon_file_of(resource, file);
    if (!on_listed_volume(place, file, true))
        return QV_NO_ICON;
    return g_icon_lookup(place->folder, path, name, attributes);
}

int own_picture(qv_item_place *place, const WCHAR *name, DWORD attributes)
{
    size_t len = wcsnlen(name, MAX_PATH - 1);
    WCHAR *path = place->full_path;
    wmemcpy(path + place->dir_len + 1, name, len);
    path[place->dir_len + 1 + len] = 0;
    const WCHAR *joined = path + place->dir_len + 1;
    if (!item_may_be_opened(attributes))
        return type_picture(name, attributes, NULL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return folder_picture(place, path, joined, attributes);
    if (shortcut_name(path))
        return shortcut_picture(place, path, joined, attributes);
    const WCHAR *extension = PathFindExtensionW(name);
    if (!_wcsicmp(extension, L".url"))
        return internet_shortcut_picture(place, path, joined, attributes);
    return g_icon_lookup(place->folder, path, joined, attributes);
}
