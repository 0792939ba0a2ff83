// The two Windows 11 registry files, imported with regedit as a user would:
// the first adds exactly the classic-menu key with an empty default value,
// the second takes it away again, and nothing else among the user's classes
// changes.
#include <gtest/gtest.h>
#include "test_support.h"

namespace {

const std::wstring user_classes = L"Software\\Classes\\CLSID";
const std::wstring classic_menu_key = user_classes + L"\\{86ca1aa0-34aa-4e8b-a509-50c905bae2a2}";

DWORD import(const wchar_t *name)
{
    // build/bin -> the source tree's dist folder.
    std::wstring file = test_bin_dir() + L"\\..\\..\\dist\\" + name;
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
        return ERROR_FILE_NOT_FOUND;
    return run_process(L"regedit.exe /s \"" + file + L"\"");
}

bool starts_with(const std::wstring &text, const std::wstring &start)
{
    return text.compare(0, start.size(), start) == 0;
}

TEST(Windows11ClassicMenu, OnAddsExactlyItsKeyAndOffTakesItAway)
{
    ASSERT_FALSE(reg_key_exists(HKEY_CURRENT_USER, classic_menu_key)) << "left over from an earlier run";
    // Windows always has the user's CLSID key; a fresh Wine prefix may not.
    bool created = !reg_key_exists(HKEY_CURRENT_USER, user_classes);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, user_classes.c_str(), 0, NULL, 0, KEY_READ, NULL,
                                             &key, NULL));
    RegCloseKey(key);
    std::vector<std::wstring> before = reg_snapshot(HKEY_CURRENT_USER, user_classes);

    ASSERT_EQ(0u, import(L"windows11-classic-menu-on.reg"));
    std::vector<std::wstring> others, added;
    for (const std::wstring &line : reg_snapshot(HKEY_CURRENT_USER, user_classes))
        (starts_with(line, classic_menu_key) ? added : others).push_back(line);
    EXPECT_TRUE(before == others) << "the import changed other classes";
    ASSERT_EQ(3u, added.size()) << "the key, its InprocServer32 subkey and one value";
    EXPECT_EQ(classic_menu_key, added[0]);
    EXPECT_EQ(classic_menu_key + L"\\InprocServer32", added[1]);
    EXPECT_TRUE(starts_with(added[2], classic_menu_key + L"\\InprocServer32||1|")) << "a REG_SZ default value";
    std::wstring value = L"not read";
    EXPECT_TRUE(reg_read_string(HKEY_CURRENT_USER, classic_menu_key + L"\\InprocServer32", L"", &value));
    EXPECT_EQ(L"", value);

    ASSERT_EQ(0u, import(L"windows11-classic-menu-off.reg"));
    EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, classic_menu_key));
    EXPECT_TRUE(before == reg_snapshot(HKEY_CURRENT_USER, user_classes));

    reg_delete_tree(HKEY_CURRENT_USER, classic_menu_key);
    if (created)
        RegDeleteKeyW(HKEY_CURRENT_USER, user_classes.c_str());
}

}  // namespace
