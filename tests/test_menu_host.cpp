// The menu host program: bad input gets a clear refusal and a non-zero exit;
// a folder's menu opens, is printed and closes.
#include <gtest/gtest.h>
#include "test_support.h"

namespace {

DWORD host(const std::wstring &arguments)
{
    return run_process(L"\"" + test_bin_dir() + L"\\qv-menu-host.exe\" " + arguments);
}

TEST(MenuHost, RefusesBadInput)
{
    temp_dir folder;
    write_file(folder / L"plain.txt");
    EXPECT_EQ(2u, host(L"")) << "no path";
    EXPECT_EQ(2u, host(L"--bogus \"" + folder.path() + L"\""));
    EXPECT_EQ(2u, host(L"\"" + folder.path() + L"\\missing\""));
    EXPECT_EQ(2u, host(L"\"" + (folder / L"plain.txt") + L"\""));
    EXPECT_EQ(2u, host(L"--choose x \"" + folder.path() + L"\""));
    // A file that is not a module cannot be registered.
    EXPECT_EQ(3u, host(L"--register --dll \"" + (folder / L"plain.txt") + L"\" \"" + folder.path() + L"\""));
}

TEST(MenuHost, ShowsAndClosesTheMenuOfASampleFolder)
{
    temp_dir root;
    std::wstring sample = root / L"sample";
    ASSERT_EQ(0u, host(L"--make-sample \"" + sample + L"\""));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((sample + L"\\Projects shortcut.lnk").c_str()));
    std::wstring picture = root / L"menu.png";
    EXPECT_EQ(0u, host(L"--register --screenshot \"" + picture + L"\" \"" + sample + L"\""));
    std::string png = read_file(picture);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ("\x89PNG", png.substr(0, 4));
    // Asking for an entry the menu does not have fails clearly.
    EXPECT_EQ(2u, host(L"--choose 999 \"" + sample + L"\""));
    run_regsvr32(test_dll_path(), L"/u");
}

}  // namespace
