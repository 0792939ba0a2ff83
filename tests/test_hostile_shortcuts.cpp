// Right-clicks on shortcuts that point to files, missing targets, drive roots,
// other shortcuts or very long paths, and on damaged shortcut files: each one
// goes through a data object, Initialize and QueryContextMenu on a real popup.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "extension/qv_shellex.h"
#include "setting_names.h"
#include "test_support.h"

namespace {

typedef std::set<std::wstring> name_set;

// What one right-click left behind.
struct click {
    HRESULT init = E_FAIL;
    HRESULT query = E_FAIL;
    UINT reserved = 0;
    size_t path_chars = MAX_PATH;  // characters before the first NUL of `path`
    std::wstring path;
    DWORD is_lnk = 0;
    std::vector<DWORD> config;
    int menu_items = -1;  // items of the two-item popup after QueryContextMenu
    LONG hooks = -1;      // hooks installed by QueryContextMenu
    name_set listed;      // the listing, when something was reserved
};

// Initialize with `data` (released here), then QueryContextMenu on a fresh
// popup that already holds two of the shell's items.
click right_click(qv_shellex *ext, IDataObject *data)
{
    click r;
    EXPECT_NE(nullptr, data);
    if (!data)
        return r;
    // No NUL anywhere: whatever Initialize leaves must be terminated by it.
    wmemset(ext->path, L'#', MAX_PATH);
    r.init = ext->Initialize(NULL, data, NULL);
    data->Release();
    r.is_lnk = ext->is_lnk;

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    AppendMenuW(menu, MF_STRING, 2, L"Properties");
    r.query = ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    r.reserved = HRESULT_CODE(r.query);
    // QueryContextMenu resolves the shortcut into `path`.  The settings
    // follow `path` in the object and are loaded before that: a path written
    // past its buffer would show here.
    r.path_chars = wcsnlen(ext->path, MAX_PATH);
    r.path.assign(ext->path, r.path_chars);
    const DWORD *first = &ext->config.OnlyAllowedOnDesktop;
    r.config.assign(first, first + setting_count);
    r.menu_items = GetMenuItemCount(menu);
    r.hooks = menu_hook_count();
    if (r.reserved)
        for (UINT64 i = 0; i < ext->list.entry_count; i++)
            r.listed.insert(list_name(&ext->list, i));
    thread_menus_drop_thread();
    DestroyMenu(menu);
    return r;
}

// A right-click with a new extension object.
click right_click_new(IDataObject *data)
{
    qv_shellex *ext = qv_shellex::create();
    click r = right_click(ext, data);
    ext->Release();
    return r;
}

// The settings of these right-clicks: the defaults, but the shortcut and
// the listing are read to their end however long a hostile file makes that
// take (its reading is the point here, not the time limit's).
std::vector<DWORD> settings_used()
{
    std::vector<DWORD> used = defaults;
    used[7] = 0;  // ListingTimeLimit
    return used;
}

// What every right-click must leave, menu or not.
void expect_sound(const click &r, const std::string &what)
{
    EXPECT_TRUE(SUCCEEDED(r.query)) << what;
    EXPECT_LT(r.path_chars, (size_t)MAX_PATH) << what;
    EXPECT_EQ(settings_used(), r.config) << what;
    EXPECT_EQ(2, r.menu_items) << what;  // the menu is filled later, never here
    EXPECT_EQ(r.reserved ? 2 : 0, r.hooks) << what;
    if (r.reserved) {
        EXPECT_EQ(r.listed.size() + 10, r.reserved) << what;
    }
}

void expect_no_menu(const click &r, const std::string &what)
{
    expect_sound(r, what);
    EXPECT_EQ(0u, r.reserved) << what;
    EXPECT_EQ(0, r.hooks) << what;
}

bool same_path(const std::wstring &a, const std::wstring &b)
{
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// The names a listing of `folder` shows: what the file system enumerates,
// less hidden items, ".", and the names the listing filters out; ".." only
// when reached through a shortcut.
name_set visible_names(const std::wstring &folder)
{
    name_set names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN || name == L".")
            continue;
        std::wstring tail = name.size() >= 4 ? name.substr(name.size() - 4) : L"";
        if (tail == L".dll" || tail == L".pyc" || tail == L".pyo")
            continue;
        names.insert(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

// A folder below `root` whose full path is exactly `length` characters, made
// of nested folders named with `fill`.
std::wstring deep_folder(const std::wstring &root, size_t length, wchar_t fill)
{
    std::wstring path = root;
    while (path.size() < length) {
        size_t remaining = length - path.size();  // includes the backslash
        size_t segment = remaining <= 101 ? remaining - 1 : 100;
        if (remaining - 1 - segment == 1)
            segment--;  // never leave a single character for a last "\"
        path += L"\\" + std::wstring(segment, fill);
        EXPECT_TRUE(make_dir(path)) << path.size();
    }
    EXPECT_EQ(length, path.size());
    return path;
}

// The target a saved shortcut gives back through IShellLinkW.
std::wstring stored_target(const std::wstring &lnk)
{
    IShellLinkW *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)))
        return L"";
    IPersistFile *file = nullptr;
    WCHAR target[MAX_PATH] = L"";
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        if (SUCCEEDED(file->Load(lnk.c_str(), STGM_READ)))
            link->GetPath(target, MAX_PATH, NULL, SLGP_UNCPRIORITY);
        file->Release();
    }
    link->Release();
    target[MAX_PATH - 1] = 0;
    return target;
}

class hostile_shortcuts : public testing::Test {
protected:
    void SetUp() override
    {
        settings.set(L"ListingTimeLimit", 0);
        target = dir / L"Target";
        ASSERT_TRUE(make_dir(target));
        ASSERT_TRUE(write_file(target + L"\\alpha.txt"));
        ASSERT_TRUE(make_dir(target + L"\\gamma"));
    }
    void TearDown() override { EXPECT_EQ(0, menu_hook_count()); }
    const name_set target_listing = {L"..", L"alpha.txt", L"gamma"};
    settings_scope settings;
    temp_dir dir;
    std::wstring target;
};

} // namespace

TEST_F(hostile_shortcuts, ShortcutToAFolderListsTheFolder)
{
    std::wstring lnk = dir / L"Target.lnk";
    ASSERT_TRUE(make_shortcut(lnk, target));
    click r = right_click_new(shell_data_object({lnk}));
    EXPECT_EQ(S_OK, r.init);
    EXPECT_EQ(1u, r.is_lnk);
    EXPECT_TRUE(same_path(target, r.path)) << r.path.size();
    expect_sound(r, "folder");
    EXPECT_EQ(target_listing, r.listed);
}

TEST_F(hostile_shortcuts, ShortcutToAFileOrToNothingAddsNothing)
{
    std::wstring file = dir / L"notes.txt";
    ASSERT_TRUE(write_file(file));
    std::wstring to_file = dir / L"File.lnk";
    ASSERT_TRUE(make_shortcut(to_file, file));
    click r = right_click_new(shell_data_object({to_file}));
    EXPECT_EQ(S_OK, r.init);
    EXPECT_EQ(1u, r.is_lnk);
    EXPECT_TRUE(same_path(file, r.path));
    expect_no_menu(r, "file");

    // The target is gone, before or after the shortcut was made.
    std::wstring never = dir / L"never there";
    std::wstring to_never = dir / L"Never.lnk";
    ASSERT_TRUE(make_shortcut(to_never, never));
    std::wstring gone = dir / L"gone";
    std::wstring to_gone = dir / L"Gone.lnk";
    ASSERT_TRUE(make_dir(gone));
    ASSERT_TRUE(make_shortcut(to_gone, gone));
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    for (const std::wstring &lnk : {to_never, to_gone}) {
        click missing = right_click_new(shell_data_object({lnk}));
        EXPECT_EQ(S_OK, missing.init);
        EXPECT_EQ(1u, missing.is_lnk);
        expect_no_menu(missing, "missing");
    }

    // An object that listed a folder before lists nothing for them now.
    std::wstring to_target = dir / L"Target.lnk";
    ASSERT_TRUE(make_shortcut(to_target, target));
    qv_shellex *ext = qv_shellex::create();
    ASSERT_EQ(target_listing, right_click(ext, shell_data_object({to_target})).listed);
    expect_no_menu(right_click(ext, shell_data_object({to_file})), "file after folder");
    ASSERT_EQ(target_listing, right_click(ext, shell_data_object({to_target})).listed);
    expect_no_menu(right_click(ext, hdrop_data_object({to_gone})), "missing after folder");
    ext->Release();
}

TEST_F(hostile_shortcuts, ShortcutToADriveRootListsTheDrive)
{
    // Something of this test's own in the drive, to know the listing is the drive's.
    struct root_folder {
        std::wstring path = L"C:\\qv-root-marker-" + std::to_wstring(GetCurrentProcessId());
        ~root_folder() { RemoveDirectoryW(path.c_str()); }
    } root_marker;
    const std::wstring &marker = root_marker.path;
    ASSERT_TRUE(make_dir(marker));
    std::wstring lnk = dir / L"Drive C.lnk";
    ASSERT_TRUE(make_shortcut(lnk, L"C:\\"));
    std::wstring stored = stored_target(lnk);
    ASSERT_TRUE(same_path(L"C:\\", stored)) << testing::PrintToString(stored);

    click r = right_click_new(shell_data_object({lnk}));
    EXPECT_EQ(S_OK, r.init);
    EXPECT_EQ(1u, r.is_lnk);
    // The shortcut's target as the shell link gives it, backslash included.
    EXPECT_EQ(stored, r.path);
    expect_sound(r, "drive");
    EXPECT_NE(0u, r.reserved);
    EXPECT_EQ(visible_names(L"C:"), r.listed);
    EXPECT_EQ(1u, r.listed.count(marker.substr(3)));
    // Each name joined to the target as a launch does it names a real item.
    for (const std::wstring &name : r.listed) {
        if (name != L"..") {
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((r.path + L"\\" + name).c_str()))
                << testing::PrintToString(name);
        }
    }
}

TEST_F(hostile_shortcuts, ShortcutToAShortcutIsResolvedOneLevel)
{
    std::wstring inner = dir / L"Inner.lnk";
    std::wstring outer = dir / L"Outer.lnk";
    ASSERT_TRUE(make_shortcut(inner, target));
    ASSERT_TRUE(make_shortcut(outer, inner));
    click r = right_click_new(shell_data_object({outer}));
    EXPECT_EQ(S_OK, r.init);
    EXPECT_EQ(1u, r.is_lnk);
    EXPECT_TRUE(same_path(inner, r.path)) << testing::PrintToString(r.path);
    expect_no_menu(r, "shortcut to shortcut");

    // A shortcut to itself resolves to itself.
    std::wstring loop = dir / L"Loop.lnk";
    ASSERT_TRUE(make_shortcut(loop, loop));
    click self = right_click_new(shell_data_object({loop}));
    EXPECT_EQ(1u, self.is_lnk);
    expect_no_menu(self, "loop");

    // What decides is the final path: a folder that is only named like a
    // shortcut is listed.
    std::wstring folder_lnk = dir / L"Folder.lnk";
    ASSERT_TRUE(make_dir(folder_lnk));
    ASSERT_TRUE(write_file(folder_lnk + L"\\inside.txt"));
    std::wstring to_folder_lnk = dir / L"ToFolder.lnk";
    ASSERT_TRUE(make_shortcut(to_folder_lnk, folder_lnk));
    click folder = right_click_new(shell_data_object({to_folder_lnk}));
    EXPECT_TRUE(same_path(folder_lnk, folder.path));
    expect_sound(folder, "folder named .lnk");
    EXPECT_EQ((name_set{L"..", L"inside.txt"}), folder.listed);
}

TEST_F(hostile_shortcuts, TargetThatIsNotAFullPathIsNotListed)
{
    // A damaged or crafted shortcut may hold a relative target; it must not
    // list whatever folder of that name the host's current folder has.
    std::wstring lnk = dir / L"Relative.lnk";
    ASSERT_TRUE(make_shortcut(lnk, target));
    std::string bytes = read_file(lnk);
    std::string ansi_target(target.begin(), target.end());
    size_t at = bytes.find(ansi_target + '\0');
    ASSERT_NE(std::string::npos, at);
    // "...\Target" becomes "Target" in place, padded with NULs.
    std::string relative = "Target";
    bytes.replace(at, ansi_target.size(), relative + std::string(ansi_target.size() - relative.size(), '\0'));
    ASSERT_TRUE(write_file(lnk, bytes));

    WCHAR previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(dir.path().c_str()));
    std::wstring stored = stored_target(lnk);
    click r = right_click_new(shell_data_object({lnk}));
    SetCurrentDirectoryW(previous);
    EXPECT_EQ(1u, r.is_lnk);
    expect_no_menu(r, "relative target " + testing::PrintToString(stored));
}

TEST_F(hostile_shortcuts, TruncatedShortcutsListTheTargetOrNothing)
{
    std::wstring good = dir / L"Good.lnk";
    ASSERT_TRUE(make_shortcut(good, target));
    const std::string bytes = read_file(good);
    ASSERT_GT(bytes.size(), 0x4Cu + 4);
    // The file ends with the empty block that closes the extra data.
    ASSERT_EQ(std::string(4, '\0'), bytes.substr(bytes.size() - 4));
    ASSERT_EQ(target_listing, right_click_new(hdrop_data_object({good})).listed);

    std::wstring bad = dir / L"Bad.lnk";
    for (size_t length = 0; length < bytes.size(); length++) {
        ASSERT_TRUE(write_file(bad, bytes.substr(0, length)));
        click r = right_click_new(hdrop_data_object({bad}));
        std::string what = "truncated to " + std::to_string(length) + " of " + std::to_string(bytes.size());
        EXPECT_EQ(1u, r.is_lnk) << what;
        // Only a copy that lacks no more than the closing block still holds
        // the whole shortcut; it may then list its target, and nothing else.
        if (length < bytes.size() - 4) {
            expect_no_menu(r, what);
        } else {
            expect_sound(r, what);
            if (r.reserved) {
                EXPECT_EQ(target_listing, r.listed) << what;
            }
        }
    }
}

static std::string random_bytes(std::mt19937 &random, size_t count)
{
    std::string s(count, '\0');
    for (char &c : s)
        c = (char)(random() & 0xFF);
    return s;
}

TEST_F(hostile_shortcuts, RandomFilesGiveNoMenu)
{
    std::mt19937 random(20240607);
    std::wstring bad = dir / L"Random.lnk";
    for (int i = 0; i < 150; i++) {
        ASSERT_TRUE(write_file(bad, random_bytes(random, random() % 1025)));
        expect_no_menu(right_click_new(hdrop_data_object({bad})), "random file " + std::to_string(i));
    }
}

TEST_F(hostile_shortcuts, RandomDataAfterAGoodHeaderGivesNoMenu)
{
    std::wstring good = dir / L"Good.lnk";
    ASSERT_TRUE(make_shortcut(good, target));
    const std::string header = read_file(good).substr(0, 0x4C);
    std::mt19937 random(20240608);
    std::wstring bad = dir / L"Random.lnk";
    // With the good header's own link flags, or with random ones that
    // announce random sections.  Few cases: the platform's loader sizes its
    // reads by the chunk sizes it finds, and a read into a buffer of a few
    // gigabytes costs Wine seconds.
    for (int i = 0; i < 12; i++) {
        std::string copy = header;
        if (i % 2)
            copy.replace(0x14, 4, random_bytes(random, 4));
        ASSERT_TRUE(write_file(bad, copy + random_bytes(random, random() % 1025)));
        expect_no_menu(right_click_new(hdrop_data_object({bad})), "random after header " + std::to_string(i));
    }
}

TEST_F(hostile_shortcuts, DamagedCopiesOfAGoodShortcutListTheTargetOrNothing)
{
    std::wstring good = dir / L"Good.lnk";
    ASSERT_TRUE(make_shortcut(good, target));
    const std::string bytes = read_file(good);
    std::wstring bad = dir / L"Bad.lnk";
    std::mt19937 random(7);
    int listed = 0;
    for (int i = 0; i < 200; i++) {
        std::string copy = bytes;
        for (int flips = 1 + random() % 8; flips; flips--)
            copy[random() % copy.size()] = (char)(random() & 0xFF);
        ASSERT_TRUE(write_file(bad, copy));
        click r = right_click_new(hdrop_data_object({bad}));
        std::string what = "damaged copy " + std::to_string(i);
        expect_sound(r, what);
        // A change outside the target leaves a shortcut that still works.
        if (r.reserved) {
            listed++;
            EXPECT_TRUE(same_path(target, r.path)) << what;
            EXPECT_EQ(target_listing, r.listed) << what;
        }
    }
    RecordProperty("listed", listed);
}

TEST_F(hostile_shortcuts, LongTargetsStayInTheBufferAndTheListingBound)
{
    temp_dir deep(L"d");
    // Up to 244 characters the target is listed, beyond it is not.
    for (size_t length : {244u, 245u, 259u}) {
        std::wstring folder = deep_folder(deep.path(), length, (wchar_t)(L'a' + length % 26));
        ASSERT_TRUE(write_file(folder + L"\\f"));
        std::wstring lnk = dir / (L"Deep" + std::to_wstring(length) + L".lnk");
        ASSERT_TRUE(make_shortcut(lnk, folder));
        ASSERT_EQ(folder.size(), stored_target(lnk).size());
        click r = right_click_new(shell_data_object({lnk}));
        std::string what = std::to_string(length);
        EXPECT_EQ(S_OK, r.init) << what;
        EXPECT_EQ(length, r.path_chars) << what;
        EXPECT_TRUE(same_path(folder, r.path)) << what;
        expect_sound(r, what);
        if (length <= 244)
            EXPECT_EQ((name_set{L"..", L"f"}), r.listed) << what;
        else
            EXPECT_EQ(0u, r.reserved) << what;

        // An object that listed another folder before must not offer that
        // listing for a target it cannot list.
        std::wstring to_target = dir / L"Target.lnk";
        ASSERT_TRUE(make_shortcut(to_target, target));
        qv_shellex *ext = qv_shellex::create();
        ASSERT_EQ(target_listing, right_click(ext, shell_data_object({to_target})).listed);
        click again = right_click(ext, shell_data_object({lnk}));
        expect_sound(again, "after a listing, " + what);
        if (length <= 244)
            EXPECT_EQ((name_set{L"..", L"f"}), again.listed) << what;
        else
            EXPECT_EQ(0u, again.reserved) << what;
        ext->Release();
    }

    // A target beyond MAX_PATH: the file system takes the folder, the shell
    // link keeps whatever it can; the object's path stays in its buffer and
    // nothing is listed.
    std::wstring longer = deep_folder(deep.path(), 300, L'z');
    ASSERT_EQ(300u, longer.size());
    std::wstring lnk = dir / L"Deeper.lnk";
    if (make_shortcut(lnk, longer)) {
        std::wstring stored = stored_target(lnk);
        click r = right_click_new(shell_data_object({lnk}));
        expect_no_menu(r, "300 characters, stored as " + testing::PrintToString(stored));
        EXPECT_EQ(1u, r.is_lnk);
    }
}
