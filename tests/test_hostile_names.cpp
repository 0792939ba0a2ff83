// Folder paths at the listing bound and names that look like format
// directives, need surrogate pairs, are as long as a name can be, differ only
// in case reach the menu and the launch unchanged; names the Win32 path
// rules would change are left out, and bidirectional controls are left out
// of the menu text only.
#include <gtest/gtest.h>
#include <algorithm>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "extension/qv_shellex.h"
#include "menu/shell_open.h"
#include "launch_recorder.h"
#include "popup.h"
#include "test_support.h"

namespace {

// Paths past MAX_PATH and names the Win32 layer would trim (a trailing
// space) are reached through the "\\?\" form.
std::wstring verbatim(const std::wstring &path)
{
    return L"\\\\?\\" + path;
}

// Names of the items of `folder`, less "." and "..".
std::vector<std::wstring> names_in(const std::wstring &folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(verbatim(folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

HRESULT invoke(qv_shellex *ext, UINT offset)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(offset);
    return ext->InvokeCommand(&info);
}

struct shown_entry {
    std::wstring text;
    UINT offset;
};

// Fills `menu` as its display does and returns the entries between
// "| NORMAL |" and the logo.
std::vector<shown_entry> show(HMENU menu, UINT first)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    DestroyWindow(window);
    std::vector<shown_entry> shown;
    for (int i = 1; i < GetMenuItemCount(menu) - 1; i++) {
        wchar_t text[1024] = L"";
        GetMenuStringW(menu, i, text, 1024, MF_BYPOSITION);
        shown.push_back({text, GetMenuItemID(menu, i) - first});
    }
    return shown;
}

// Chooses each shown entry in turn: each must launch "folder\text" in the
// folder.  Returns the texts, sorted.
std::vector<std::wstring> launch_each(launch_recorder &recorded, qv_shellex *ext, const std::vector<shown_entry> &shown, const std::wstring &folder)
{
    std::vector<std::wstring> texts;
    for (const shown_entry &entry : shown) {
        texts.push_back(entry.text);
        std::vector<recorded_launch> &launches = recorded.launches;
        launches.clear();
        EXPECT_EQ(S_OK, invoke(ext, entry.offset));
        EXPECT_EQ(1u, launches.size()) << "offset " << entry.offset;
        if (launches.size() != 1)
            continue;
        EXPECT_EQ(folder + L"\\" + entry.text, launches[0].file);
        EXPECT_EQ(folder, launches[0].directory);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}


// A sub-folder of `root` whose full path is exactly `length` characters.
std::wstring folder_of_length(const temp_dir &root, size_t length)
{
    size_t base = root.path().size() + 1;
    std::wstring path = root / std::wstring(length - base, L'd');
    EXPECT_TRUE(make_dir(path)) << length;
    EXPECT_EQ(length, path.size());
    return path;
}

UINT reserve(qv_shellex *ext, HMENU menu)
{
    return HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL));
}

TEST(HostileInput, ListingBoundOfFolderPaths)
{
    temp_dir root;
    HMENU menu = CreatePopupMenu();
    for (size_t length : {243u, 244u, 245u}) {
        std::wstring folder = folder_of_length(root, length);
        ASSERT_TRUE(write_file(folder + L"\\f"));
        qv_shellex *ext = listed_object_for(folder, 0);
        // Up to 244 characters the folder is listed; beyond, nothing is.
        EXPECT_EQ(length <= 244 ? 11u : 0u, reserve(ext, menu)) << length;
        ext->Release();
    }
    EXPECT_EQ(0, menu_hook_count());
    DestroyMenu(menu);
}

TEST(HostileInput, FormatLikeAndNonBmpNamesAreShownAsTheyAre)
{
    temp_dir folder;
    const std::wstring names[] = {L"100%ls %s %n %p.txt", L"\U0001F600 smile.txt", L"\u65e5\u672c\u8a9e",
                                  L"e\u0301t\u00e9", L"trailing."};
    for (const std::wstring &name : names)
        write_file(folder / name);
    qv_shellex *ext = listed_object_for(folder.path(), 0);
    HMENU menu = CreatePopupMenu();
    HWND window = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    ASSERT_EQ(5u + 10u, reserve(ext, menu));
    SendMessageW(window, WM_INITMENU, (WPARAM)menu, 0);
    std::vector<std::wstring> shown;
    for (int i = 1; i < GetMenuItemCount(menu) - 1; i++) {
        wchar_t text[512] = L"";
        GetMenuStringW(menu, i, text, 512, MF_BYPOSITION);
        shown.push_back(text);
    }
    ASSERT_EQ(5u, shown.size());
    for (const std::wstring &name : names) {
        // Wine drops a trailing dot when it creates the file, as Windows does.
        std::wstring expected = name.back() == L'.' ? name.substr(0, name.size() - 1) : name;
        EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), expected)) << expected.size();
    }
    DestroyWindow(window);
    DestroyMenu(menu);
    ext->Release();
}

TEST(HostileInput, LongestNamesInAFolderAtTheListingBound)
{
    launch_recorder recorded;
    temp_dir root;
    std::wstring folder = folder_of_length(root, 244);
    // 255 characters, the longest name a file system gives.
    const std::wstring names[] = {std::wstring(251, L'a') + L".txt", std::wstring(255, L'b'),
                                  std::wstring(120, L'c') + L" " + std::wstring(130, L'd') + L".x.y"};
    for (const std::wstring &name : names) {
        ASSERT_EQ(255u, name.size());
        ASSERT_TRUE(write_file(verbatim(folder + L"\\" + name)));
    }
    qv_shellex *ext = listed_object_for(folder, 0);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(3u + 10u, reserve(ext, menu));
    std::vector<shown_entry> shown = show(menu, 100);
    ASSERT_EQ(3u, shown.size());
    // Each launch is 244 + 1 + 255 characters, joined whole.
    std::vector<std::wstring> texts = launch_each(recorded, ext, shown, folder);
    EXPECT_EQ(std::vector<std::wstring>(std::begin(names), std::end(names)), texts);
    DestroyMenu(menu);
    ext->Release();
}

TEST(HostileInput, SelectedFolderOf259CharactersIsNotListed)
{
    launch_recorder recorded;
    temp_dir root;
    std::wstring folder = root / std::wstring(259 - root.path().size() - 1, L'l');
    ASSERT_EQ(259u, folder.size());
    ASSERT_TRUE(CreateDirectoryW(verbatim(folder).c_str(), NULL));
    ASSERT_TRUE(write_file(verbatim(folder + L"\\f.txt")));
    IDataObject *data = shell_data_object({folder});
    if (!data)
        data = hdrop_data_object({folder});
    qv_shellex *ext = qv_shellex::create();
    EXPECT_EQ(S_OK, ext->Initialize(NULL, data, NULL));
    data->Release();
    EXPECT_EQ(folder, ext->path);

    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    EXPECT_EQ(0u, reserve(ext, menu));
    EXPECT_EQ(0u, ext->list.entry_count);
    EXPECT_EQ(0, menu_hook_count());
    EXPECT_EQ(1, GetMenuItemCount(menu));
    for (UINT offset = 0; offset < 3; offset++)
        EXPECT_EQ(E_INVALIDARG, invoke(ext, offset)) << offset;
    EXPECT_TRUE(recorded.launches.empty()) << "not even the logo's page: no menu was made";
    DestroyMenu(menu);
    ext->Release();
}

// Creates the file `name` in `folder` from the Unix side of Wine, where names
// keep their case: the Win32 and NT layers find "abc.txt" for "ABC.txt" and
// refuse to create it.  False when not running on Wine.
bool create_beside_in_its_own_case(const std::wstring &folder, const std::wstring &name)
{
    typedef char *(CDECL * unix_name_fn)(LPCWSTR);
    unix_name_fn unix_name =
        (unix_name_fn)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (!unix_name)
        return false;
    char *unix_folder = unix_name(folder.c_str());
    if (!unix_folder)
        return false;
    std::string target = std::string(unix_folder) + "/" + std::string(name.begin(), name.end());
    HeapFree(GetProcessHeap(), 0, unix_folder);
    run_process(L"/usr/bin/touch \"" + std::wstring(target.begin(), target.end()) + L"\"");
    // The Unix program is not waited for as a Windows one is: look until the
    // folder shows the file, for a bounded time.
    for (int i = 0; i < 100; i++) {
        std::vector<std::wstring> names = names_in(folder);
        if (std::find(names.begin(), names.end(), name) != names.end())
            return true;
        Sleep(20);
    }
    return false;
}

TEST(HostileInput, NamesThatDifferOnlyInCaseAreTwoEntries)
{
    launch_recorder recorded;
    temp_dir folder;
    ASSERT_TRUE(write_file(folder / L"abc.txt"));
    if (!create_beside_in_its_own_case(folder.path(), L"ABC.txt"))
        GTEST_SKIP() << "no way to make a second file that differs only in case";
    ASSERT_EQ((std::vector<std::wstring>{L"ABC.txt", L"abc.txt"}), names_in(folder.path()));

    qv_shellex *ext = listed_object_for(folder.path(), 0);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(2u + 10u, reserve(ext, menu));
    std::vector<shown_entry> shown = show(menu, 100);
    ASSERT_EQ(2u, shown.size());
    EXPECT_NE(shown[0].text, shown[1].text);
    EXPECT_NE(shown[0].offset, shown[1].offset);
    launch_each(recorded, ext, shown, folder.path());
    DestroyMenu(menu);
    ext->Release();
}

// Names the Win32 path rules would change (trailing spaces or dots, device
// names), made through "\\?\" paths as another system would, are left out:
// launched by their paths they would open their twins ("notes", "tool.exe")
// or a device.  The twins themselves are listed and launched.
TEST(HostileInput, NamesTheWin32RulesWouldChangeAreLeftOutTheirTwinsStay)
{
    launch_recorder recorded;
    temp_dir folder;
    const std::vector<std::wstring> changed = {L"notes ", L"tool.exe.", L"nul.txt", L"COM1 .log"};
    // The folder's own clean-up reaches its items by plain paths, which lose
    // what the rules change: these go by their "\\?\" paths first.
    struct verbatim_items {
        const temp_dir &folder;
        const std::vector<std::wstring> &names;
        ~verbatim_items()
        {
            for (const std::wstring &name : names)
                DeleteFileW(verbatim(folder / name).c_str());
            RemoveDirectoryW(verbatim(folder / L"Sub  ").c_str());
        }
    } clean_up{folder, changed};
    for (const std::wstring &name : changed)
        ASSERT_TRUE(write_file(verbatim(folder / name))) << testing::PrintToString(name);
    ASSERT_TRUE(CreateDirectoryW(verbatim(folder / L"Sub  ").c_str(), NULL));
    ASSERT_TRUE(write_file(folder / L"notes"));
    ASSERT_TRUE(write_file(folder / L"tool.exe"));
    ASSERT_EQ((std::vector<std::wstring>{L"COM1 .log", L"Sub  ", L"notes", L"notes ", L"nul.txt", L"tool.exe",
                                         L"tool.exe."}),
              names_in(folder.path()));

    qv_shellex *ext = listed_object_for(folder.path(), 0);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(2u + 10u, reserve(ext, menu));
    std::vector<shown_entry> shown = show(menu, 100);
    EXPECT_EQ((std::vector<std::wstring>{L"notes", L"tool.exe"}), launch_each(recorded, ext, shown, folder.path()));
    DestroyMenu(menu);
    ext->Release();
}

// Bidirectional formatting characters would make a name read as another
// ("invoice\u202Efdp.exe" as "invoiceexe.pdf"): the menu shows the name
// without them, and choosing it opens the exact file.
TEST(HostileInput, BidiControlsAreLeftOutOfTheMenuTextNotTheLaunch)
{
    launch_recorder recorded;
    temp_dir folder;
    const std::wstring name = L"\u202Binvoice\u202Efdp\u200F\u2066.exe\u061C\u2069";
    ASSERT_TRUE(write_file(folder / name));
    qv_shellex *ext = listed_object_for(folder.path(), 0);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(1u + 10u, reserve(ext, menu));
    std::vector<shown_entry> shown = show(menu, 100);
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ(L"invoicefdp.exe", shown[0].text);
    EXPECT_EQ(S_OK, invoke(ext, shown[0].offset));
    ASSERT_EQ(1u, recorded.launches.size());
    EXPECT_EQ(folder / name, recorded.launches[0].file);
    DestroyMenu(menu);
    ext->Release();
}

TEST(HostileInput, AmpersandsAreShownAsTheyAreAndMakeNoShortcut)
{
    temp_dir folder;
    ASSERT_TRUE(make_dir(folder / L"R&D"));
    for (const wchar_t *name : {L"Tom & Jerry.txt", L"&&x.txt", L"trail&.txt"})
        ASSERT_TRUE(write_file(folder / name));
    launch_recorder recorded;
    // Every extension hidden: the name is still cut at its last ".".
    qv_shellex *ext = listed_object_for(folder.path(), 2);
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(4u + 10u, reserve(ext, menu));
    std::vector<std::wstring> texts, launched;
    for (const shown_entry &entry : show(menu, 100)) {
        texts.push_back(entry.text);
        EXPECT_EQ(S_OK, invoke(ext, entry.offset));
    }
    for (const recorded_launch &launch : recorded.launches)
        launched.push_back(launch.file);
    std::sort(texts.begin(), texts.end());
    std::sort(launched.begin(), launched.end());
    // The menu's own text: each "&" doubled, so that it shows as itself.
    EXPECT_EQ((std::vector<std::wstring>{L"&&&&x", L"R&&D", L"Tom && Jerry", L"trail&&"}), texts);
    EXPECT_EQ((std::vector<std::wstring>{folder / L"&&x.txt", folder / L"R&D", folder / L"Tom & Jerry.txt",
                                         folder / L"trail&.txt"}),
              launched);
    DestroyMenu(menu);

    // Typing "d" in the open menu chooses nothing ("R&D" has no shortcut);
    // Escape then closes it.
    HWND owner = popup_owner();
    menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    ASSERT_EQ(4u + 10u, reserve(ext, menu));
    int items = 0;
    UINT chosen = show_popup(owner, menu, 10, [&] {
        items = GetMenuItemCount(menu);
        PostMessageW(owner, WM_CHAR, L'd', 0);
        PostMessageW(owner, WM_KEYDOWN, VK_ESCAPE, 0);
        return true;
    });
    EXPECT_EQ(1 + 4 + 1, items);
    EXPECT_EQ(0u, chosen);
    DestroyMenu(menu);
    DestroyWindow(owner);
    ext->Release();
}

}  // namespace
