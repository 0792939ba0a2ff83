// Folder paths at the listing bound and names that look like format
// directives or need surrogate pairs reach the menu unchanged.
#include <gtest/gtest.h>
#include <algorithm>
#include "common/module_state.h"
#include "common/qv_shellex.h"
#include "test_support.h"

namespace {


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
    EXPECT_EQ(0, qv_installed_hooks());
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

}  // namespace
