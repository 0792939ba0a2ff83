// Command invocation: offsets back to entries, the verb choice, the launch
// arguments (recorded through the launch seam), GetCommandString, and one
// real launch through ShellExecuteW of a registered file type.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "menu/thread_menus.h"
#include "extension/qv_shellex.h"
#include "menu/shell_open.h"
#include "launch_recorder.h"
#include "test_support.h"

namespace {

void hold_shift(bool held)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = held ? 0x80 : 0;
    SetKeyboardState(keys);
}

class invocation : public testing::Test {
protected:
    void SetUp() override
    {
        hold_shift(false);
        ext = qv_shellex::create();
        ext->config = default_settings();
        ext->is_dir = 1;
        ext->is_lnk = 0;
        ext->desktop_ok = 1;
        // The input hook records into the thread's reserved menu.
        reserved_menu = CreatePopupMenu();
        ASSERT_TRUE(reserve_menu(ext, reserved_menu, 100, 0x7FFF));
    }
    void TearDown() override
    {
        hold_shift(false);
        ext->Release();
        DestroyMenu(reserved_menu);
    }
    // Lists `names` for `folder`, closed with the sentinel as a listing is.
    void listing(const std::wstring &folder, const std::vector<std::wstring> &names)
    {
        wcscpy(ext->path, folder.c_str());
        for (const std::wstring &n : names)
            list_append_name(&ext->list, n.c_str(), n.size());
        list_append_ansi(&ext->list, "");
        ext->list.entry_count--;
    }
    HRESULT invoke(UINT_PTR verb)
    {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.lpVerb = (LPCSTR)verb;
        info.nShow = SW_SHOWNORMAL;
        return ext->InvokeCommand(&info);
    }
    qv_shellex *ext = NULL;
    HMENU reserved_menu = NULL;
    launch_recorder recorder;
    std::vector<recorded_launch> &launches = recorder.launches;
    std::vector<INT_PTR> &planned_results = recorder.planned_results;
};

TEST_F(invocation, EntryLaunchesItsPathInTheListedFolder)
{
    listing(L"C:\\Tools", {L"a.exe", L"Docs", L".git"});
    ext->session.last_input_msg = WM_LBUTTONUP;
    EXPECT_EQ(S_OK, invoke(1));
    ASSERT_EQ(1u, launches.size());
    EXPECT_FALSE(launches[0].has_verb);
    EXPECT_EQ(L"C:\\Tools\\Docs", launches[0].file);
    EXPECT_FALSE(launches[0].has_parameters);
    EXPECT_EQ(L"C:\\Tools", launches[0].directory);
    EXPECT_EQ(SW_SHOWNORMAL, launches[0].show);

    EXPECT_EQ(S_OK, invoke(2));
    EXPECT_EQ(L"C:\\Tools\\.git", launches[1].file) << "a dot-name is an ordinary entry";
    // A string verb's pointer may have bits 16 to 31 clear and higher ones
    // set: that is no offset, and nothing is launched.
    EXPECT_EQ(E_INVALIDARG, invoke((UINT_PTR)0x100000000ull));
    EXPECT_EQ(E_INVALIDARG, invoke((UINT_PTR)0x7FF600000001ull));
    EXPECT_EQ(2u, launches.size());
}

TEST_F(invocation, VerbFollowsTheLastInputAndShift)
{
    listing(L"C:\\Tools", {L"a.exe"});
    struct {
        UINT message;
        bool shift;
        bool edit;
    } cases[] = {
        {WM_RBUTTONUP, false, true}, {WM_KEYDOWN, false, false}, {WM_LBUTTONUP, false, false},
        {0, false, false},           {WM_KEYDOWN, true, true},   {WM_LBUTTONUP, true, true},
    };
    for (const auto &c : cases) {
        launches.clear();
        ext->session.last_input_msg = c.message;
        hold_shift(c.shift);
        EXPECT_EQ(S_OK, invoke(0));
        ASSERT_EQ(1u, launches.size());
        EXPECT_EQ(c.edit, launches[0].has_verb) << "message " << c.message << " shift " << c.shift;
        if (c.edit) {
            EXPECT_EQ(L"edit", launches[0].verb);
        }
    }
}

TEST_F(invocation, NoEditActionRetriesOnceWithTheDefault)
{
    listing(L"C:\\Tools", {L"notes.txt"});
    ext->session.last_input_msg = WM_RBUTTONUP;
    planned_results = {SE_ERR_NOASSOC, SE_ERR_NOASSOC};
    EXPECT_EQ(S_OK, invoke(0)) << "a failed launch is not reported";
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(L"edit", launches[0].verb);
    EXPECT_FALSE(launches[1].has_verb);
    EXPECT_EQ(launches[0].file, launches[1].file);
    EXPECT_EQ(L"C:\\Tools", launches[1].directory);

    // Without a verb there is nothing to fall back to.
    launches.clear();
    planned_results = {SE_ERR_NOASSOC};
    EXPECT_EQ((HINSTANCE)SE_ERR_NOASSOC, shell_open(NULL, NULL, L"C:\\x.txt", NULL, L"C:\\"));
    EXPECT_EQ(1u, launches.size());
    // Other failures are not retried either.
    launches.clear();
    planned_results = {SE_ERR_FNF};
    EXPECT_EQ((HINSTANCE)SE_ERR_FNF, shell_open(NULL, L"edit", L"C:\\x.txt", NULL, L"C:\\"));
    EXPECT_EQ(1u, launches.size());
    // The retry's result is the one returned.
    launches.clear();
    planned_results = {SE_ERR_NOASSOC, 33};
    EXPECT_EQ((HINSTANCE)33, shell_open(NULL, L"edit", L"C:\\x.txt", L"-p", L"C:\\"));
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(L"-p", launches[1].parameters);
}

TEST_F(invocation, DotEntries)
{
    listing(L"D:\\Proj", {L"..", L"src", L"."});
    EXPECT_EQ(S_OK, invoke(0));
    EXPECT_EQ(L"..", launches[0].file);
    EXPECT_EQ(L"D:\\Proj", launches[0].directory);
    EXPECT_EQ(S_OK, invoke(2));
    EXPECT_EQ(L"D:\\Proj", launches[1].file) << "the overflow entry opens the folder itself";
    EXPECT_EQ(L"D:\\Proj", launches[1].directory);
}

TEST_F(invocation, LogoOpensTheHomePageAndOtherOffsetsNothing)
{
    listing(L"C:\\Tools", {L"a.exe", L"Docs"});
    ext->session.last_input_msg = WM_RBUTTONUP;
    EXPECT_EQ(E_INVALIDARG, invoke(2));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(QV_HOME_PAGE, launches[0].file);
    EXPECT_FALSE(launches[0].has_verb);
    EXPECT_EQ(L"C:\\Tools", launches[0].directory);

    launches.clear();
    EXPECT_EQ(E_INVALIDARG, invoke(3)) << "the \"| NORMAL |\" item";
    EXPECT_EQ(E_INVALIDARG, invoke(0xFFFF));
    // String verbs: anything with bits 16 to 31 set.
    EXPECT_EQ(E_INVALIDARG, invoke(0x10001));
    EXPECT_EQ(E_INVALIDARG, invoke((UINT_PTR)0x7FFF0000));
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = "open";
    ASSERT_NE(0u, (UINT_PTR)info.lpVerb >> 16 & 0xFFFF) << "a string's address";
    EXPECT_EQ(E_INVALIDARG, ext->InvokeCommand(&info));
    EXPECT_TRUE(launches.empty());
}

// A later QueryContextMenu found the listed path no longer a folder: no
// entry of the earlier listing runs anything, not the file now there, with
// or without the entry's name as its arguments.
TEST_F(invocation, PathThatIsNoLongerAFolderLaunchesNothing)
{
    listing(L"C:\\Tools\\tool.exe", {L"input.txt", L"."});
    ext->is_dir = 0;
    for (UINT_PTR offset : {0, 1, 2})
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIRECTORY), invoke(offset)) << offset;
    EXPECT_TRUE(launches.empty());
}

TEST_F(invocation, RefusedWithoutSelectionOrValidRecord)
{
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_EQ(E_UNEXPECTED, ext->InvokeCommand(&info)) << "never initialised";
    listing(L"C:\\Tools", {L"a.exe"});
    EXPECT_EQ(E_INVALIDARG, ext->InvokeCommand(NULL));
    info.cbSize = sizeof(info) - 1;
    EXPECT_EQ(E_INVALIDARG, ext->InvokeCommand(&info));
    info.cbSize = sizeof(CMINVOKECOMMANDINFOEX);
    EXPECT_EQ(S_OK, ext->InvokeCommand(&info)) << "a larger record is fine";
    EXPECT_EQ(1u, launches.size());
}

TEST_F(invocation, JoinedPathNeverOverflows)
{
    // The longest folder and a name longer than any file system's still
    // fit or are refused, never cut short.
    std::wstring folder = L"C:\\" + std::wstring(MAX_PATH - 4, L'f');
    std::wstring longest_name(MAX_PATH - 1, L'n');
    std::wstring too_long(300, L'x');
    listing(folder, {longest_name, too_long});
    EXPECT_EQ(S_OK, invoke(0));
    ASSERT_EQ(1u, launches.size());
    EXPECT_EQ(folder + L"\\" + longest_name, launches[0].file);
    EXPECT_EQ(E_INVALIDARG, invoke(1));
    EXPECT_EQ(1u, launches.size());
}

TEST_F(invocation, GetCommandString)
{
    wchar_t wide[40];
    wmemset(wide, L'#', 40);
    EXPECT_EQ(S_OK, ext->GetCommandString(0, GCS_HELPTEXTW, NULL, (CHAR *)wide, 40));
    EXPECT_EQ(L'\0', wide[0]);
    EXPECT_EQ(L'#', wide[1]);
    wide[0] = L'#';
    EXPECT_EQ(S_OK, ext->GetCommandString(0, GCS_VERBW, NULL, (CHAR *)wide, 1));
    EXPECT_EQ(L'\0', wide[0]);

    // The ANSI help text is written as the wide one is, never S_OK over a
    // buffer left as it was.
    char ansi[8] = "#######";
    EXPECT_EQ(S_OK, ext->GetCommandString(0, GCS_HELPTEXTA, NULL, ansi, 8));
    EXPECT_EQ('\0', ansi[0]);
    EXPECT_EQ('#', ansi[1]);
    ansi[0] = '#';
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(0, GCS_HELPTEXTA, NULL, ansi, 0));
    EXPECT_EQ('#', ansi[0]);
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(0, GCS_VERBA, NULL, ansi, 8));
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(0, GCS_VALIDATEA, NULL, ansi, 8));
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(3, GCS_HELPTEXTW, NULL, (CHAR *)wide, 40));

    // No buffer, or no room in it: nothing written.
    wide[0] = L'#';
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(0, GCS_HELPTEXTW, NULL, (CHAR *)wide, 0));
    EXPECT_EQ(L'#', wide[0]);
    EXPECT_EQ(E_INVALIDARG, ext->GetCommandString(0, GCS_VERBW, NULL, NULL, 40));
    EXPECT_EQ(S_OK, ext->GetCommandString(0, GCS_VALIDATEW, NULL, NULL, 0)) << "validation needs no buffer";
}

// The file type ".qvprobe" whose only action, "open", runs the probe
// program on the file; registered for the test's duration.
class probe_type {
public:
    probe_type()
    {
        remove();
        set(L"Software\\Classes\\.qvprobe", L"QuorvaneProbe.File");
        std::wstring command = L"\"" + test_bin_dir() + L"\\qv_probe.exe\" \"%1\"";
        set(L"Software\\Classes\\QuorvaneProbe.File\\shell\\open\\command", command);
    }
    ~probe_type() { remove(); }

private:
    static void set(const wchar_t *key, const std::wstring &value)
    {
        EXPECT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, key, NULL, REG_SZ, value.c_str(),
                                  (DWORD)((value.size() + 1) * sizeof(wchar_t))));
    }
    static void remove()
    {
        reg_delete_tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.qvprobe");
        reg_delete_tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\QuorvaneProbe.File");
    }
};

std::string utf8(const std::wstring &text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
    std::string bytes((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &bytes[0], n, NULL, NULL);
    return bytes;
}

TEST_F(invocation, RealLaunchRunsInTheListedFolder)
{
    probe_type type;
    temp_dir folder(L"qv-launch");
    const std::wstring file = folder / L"sample.qvprobe";
    const std::wstring report = file + L".out";
    ASSERT_TRUE(write_file(file));
    listing(folder.path(), {L"sample.qvprobe"});
    recorder.pass_through = true;
    const std::string expected = utf8(folder.path()) + "\n" + utf8(file) + "\n";

    ext->session.last_input_msg = WM_KEYDOWN;
    EXPECT_EQ(S_OK, invoke(0));
    ASSERT_EQ(1u, launches.size());
    EXPECT_GT(launches[0].result, 32) << "ShellExecuteW succeeded";
    EXPECT_EQ(expected, wait_for_file(report)) << "working directory, then the file";

    // "edit" is not an action of the type: the default one runs instead.
    DeleteFileW(report.c_str());
    launches.clear();
    ext->session.last_input_msg = WM_RBUTTONUP;
    EXPECT_EQ(S_OK, invoke(0));
    ASSERT_EQ(2u, launches.size());
    EXPECT_EQ(L"edit", launches[0].verb);
    EXPECT_EQ(SE_ERR_NOASSOC, launches[0].result);
    EXPECT_FALSE(launches[1].has_verb);
    EXPECT_GT(launches[1].result, 32);
    EXPECT_EQ(expected, wait_for_file(report));
}

// For real: a listed folder replaced by a command script of its name that
// records its arguments.  Choosing an entry of the earlier listing once the
// next right-click has seen the file runs nothing.
TEST_F(invocation, FolderReplacedByAScriptRunsNothing)
{
    temp_dir place(L"qv-became-file");
    const std::wstring folder = place / L"tools.cmd";
    const std::wstring record = place / L"arguments.txt";
    ASSERT_TRUE(make_dir(folder));
    ASSERT_TRUE(write_file(folder + L"\\Tom & Jerry.txt"));
    list_clear(&ext->list);
    ext->session.last_input_msg = WM_KEYDOWN;
    wcscpy(ext->path, folder.c_str());
    ext->config.ListingTimeLimit = 0;
    HMENU menu = CreatePopupMenu();
    EXPECT_LT(0, HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL))) << "listed";

    remove_tree(folder);
    std::string script = "@echo %* > \"" + utf8(record) + "\"\r\n";
    ASSERT_TRUE(write_file(folder, script));
    EXPECT_EQ(MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0), ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL));
    recorder.pass_through = true;
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_DIRECTORY), invoke(0));
    EXPECT_TRUE(launches.empty());
    Sleep(3000);  // a script started anyway would have written by now
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(record.c_str())) << read_file(record);
    DestroyMenu(menu);
}

// A bare drive "C:" is the host's current folder on C: launches from a
// drive's menu run in its root, and "." opens the root.
TEST_F(invocation, DriveRootIsTheWorkingFolderNotTheCurrentOne)
{
    listing(L"D:", {L"src", L"."});
    EXPECT_EQ(S_OK, invoke(0));
    EXPECT_EQ(S_OK, invoke(1));
    EXPECT_EQ(E_INVALIDARG, invoke(2));
    ASSERT_EQ(3u, launches.size());
    EXPECT_EQ(L"D:\\src", launches[0].file);
    EXPECT_EQ(L"D:\\", launches[1].file);
    for (const recorded_launch &launch : launches)
        EXPECT_EQ(L"D:\\", launch.directory) << testing::PrintToString(launch.file);

    // For real: the host's current folder on C: is elsewhere, and the
    // program started from the drive's menu runs in the root.
    probe_type type;
    temp_dir elsewhere(L"qv-cwd");
    const std::wstring file = L"C:\\qv-root.qvprobe";
    const std::wstring report = file + L".out";
    ASSERT_TRUE(write_file(file));
    DeleteFileW(report.c_str());
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(elsewhere.path().c_str()));
    list_clear(&ext->list);
    listing(L"C:", {L"qv-root.qvprobe"});
    recorder.pass_through = true;
    EXPECT_EQ(S_OK, invoke(0));
    SetCurrentDirectoryW(before);
    EXPECT_EQ("C:\\\nC:\\qv-root.qvprobe\n", wait_for_file(report)) << "working directory, then the file";
    DeleteFileW(report.c_str());
    DeleteFileW(file.c_str());
}

}  // namespace
