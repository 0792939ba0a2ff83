// qv-settings.exe driven as a user would: started as its own process, its
// check boxes and buttons clicked with real mouse input, its edit boxes and
// lists set through their own messages (keyboard input does not reach
// Wine's windows under Xvfb), and the registry read after each step.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>
#include <string.h>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "common/qv_config.h"
#include "setting_names.h"
#include "settings_ids.h"
#include "popup.h"
#include "test_support.h"
#include "window_input.h"

namespace {

int index_of(const wchar_t *name)
{
    for (int i = 0; i < setting_count; i++)
        if (wcscmp(value_names[i], name) == 0)
            return i;
    ADD_FAILURE() << "no setting " << testing::PrintToString(std::wstring(name));
    return 0;
}

// The running qv-settings and its window.
class settings_window {
public:
    // With `token`, the program runs with it (CreateProcessAsUserW).
    explicit settings_window(const std::wstring &arguments = L"", HANDLE token = NULL)
    {
        std::wstring line = L"\"" + test_bin_dir() + L"\\qv-settings.exe\" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (token)
            EXPECT_TRUE(CreateProcessAsUserW(token, NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
        else
            EXPECT_TRUE(CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process));
        CloseHandle(process.hThread);
        dialog = wait_for_window(process.dwProcessId, L"#32770", NULL);
        EXPECT_NE(nullptr, dialog) << "no settings window";
    }
    ~settings_window()
    {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hProcess);
    }
    HWND item(int id) const { return GetDlgItem(dialog, id); }
    HWND control(const wchar_t *name) const { return item(setting_control_id(index_of(name))); }
    std::wstring source(const wchar_t *name) const { return window_text(item(setting_source_id(index_of(name)))); }
    bool checked(const wchar_t *name) const
    {
        return SendMessageW(control(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    bool apply_enabled() const { return IsWindowEnabled(item(id_apply)); }
    // Exit code once the process ended (within a wide bound), or -1.
    DWORD exit_code() const
    {
        DWORD code = (DWORD)-1;
        if (WaitForSingleObject(process.hProcess, 20000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &code);
        return code;
    }
    // The message box the window shows, with its text; null if none came.
    HWND message_box(std::wstring *text) const
    {
        HWND box = wait_for_window(process.dwProcessId, L"#32770", dialog, 10000);
        for (HWND child = box ? GetWindow(box, GW_CHILD) : NULL; child; child = GetWindow(child, GW_HWNDNEXT))
            if (class_name(child) == L"Static")
                *text += window_text(child);
        return box;
    }

    PROCESS_INFORMATION process = {};
    HWND dialog = NULL;
};

std::vector<std::wstring> user_values()
{
    return reg_snapshot(HKEY_CURRENT_USER, settings_key);
}

std::vector<std::wstring> machine_values()
{
    return reg_snapshot(HKEY_LOCAL_MACHINE, settings_key);
}

// The user's REG_DWORD `name`, or -1 when the user has none.
long long user_dword(const wchar_t *name)
{
    DWORD value = 0, size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, settings_key, name, RRF_RT_REG_DWORD, NULL, &value, &size) != ERROR_SUCCESS)
        return -1;
    return value;
}

// The folders of the comctl32.dll modules the process loaded, lower-case,
// one line each.
std::wstring common_controls_folders(HANDLE process)
{
    HMODULE modules[512];
    DWORD needed = 0;
    std::wstring folders;
    if (!EnumProcessModules(process, modules, sizeof(modules), &needed))
        return folders;
    for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; i++) {
        wchar_t path[MAX_PATH] = L"";
        GetModuleFileNameExW(process, modules[i], path, MAX_PATH);
        wchar_t *file = wcsrchr(path, L'\\');
        if (file && _wcsicmp(file + 1, L"comctl32.dll") == 0) {
            *file = 0;
            folders += _wcslwr(path) + std::wstring(L"\n");
        }
    }
    return folders;
}

// The DPI awareness of `window` (2: per monitor), or -1 on a system
// without the calls (before Windows 10 1607).
int dpi_awareness(HWND window)
{
    typedef HANDLE(WINAPI * get_context_fn)(HWND);
    typedef int(WINAPI * get_awareness_fn)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto get_context = (get_context_fn)(void *)GetProcAddress(user32, "GetWindowDpiAwarenessContext");
    auto get_awareness = (get_awareness_fn)(void *)GetProcAddress(user32, "GetAwarenessFromDpiAwarenessContext");
    if (!get_context || !get_awareness)
        return -1;
    return get_awareness(get_context(window));
}

bool test_elevated()
{
    HANDLE token;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size);
    CloseHandle(token);
    return elevation.TokenIsElevated != 0;
}

}  // namespace

TEST(SettingsWindow, ShowsEachValueAndWhereItComesFrom)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    scope.set(L"HideItemLogo", 1);
    scope.set_user(L"HideItemLogo", 0);
    scope.set_user(L"HideFileExtension", 7);
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, settings_key, L"ListingTimeLimit", REG_SZ, L"9", 4));
    std::vector<std::wstring> before = user_values();

    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    EXPECT_EQ(L"50", window_text(w.control(L"MaxMenuItems")));
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    EXPECT_FALSE(w.checked(L"HideItemLogo"));
    EXPECT_EQ(L"this user", w.source(L"HideItemLogo"));
    // Any value past 2 hides every extension, as the menu does.
    EXPECT_EQ(2, SendMessageW(w.control(L"HideFileExtension"), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(L"this user", w.source(L"HideFileExtension"));
    EXPECT_EQ(L"300", window_text(w.control(L"ListingTimeLimit")));
    EXPECT_EQ(L"default", w.source(L"ListingTimeLimit"));

    // A control that fits each setting, and a line that explains it; none
    // for the setting that no menu consults.
    for (int i = 0; i < setting_count; i++) {
        std::wstring name = value_names[i];
        if (name == L"HideItemNormalOnExplorer") {
            for (int id : {setting_label_id(i), setting_control_id(i), setting_source_id(i), setting_note_id(i),
                           setting_default_id(i)})
                EXPECT_EQ(nullptr, w.item(id));
            continue;
        }
        EXPECT_EQ(L"Default", window_text(w.item(setting_default_id(i)))) << testing::PrintToString(name);
        std::wstring expected = name == L"MaxMenuItems" || name == L"ListingTimeLimit" ? L"Edit"
                                : name == L"HideFileExtension"                        ? L"ComboBox"
                                                                                      : L"Button";
        EXPECT_EQ(expected, class_name(w.item(setting_control_id(i)))) << testing::PrintToString(name);
        EXPECT_GT(window_text(w.item(setting_note_id(i))).size(), 20u) << testing::PrintToString(name);
    }
    EXPECT_EQ(3, SendMessageW(w.control(L"HideFileExtension"), CB_GETCOUNT, 0, 0));
    EXPECT_FALSE(w.apply_enabled());
    EXPECT_EQ(test_elevated(), IsWindowEnabled(w.item(id_for_all_users)) != 0);
    // Not elevated, a button that restarts the window as administrator
    // stands in place of "For all users".
    EXPECT_EQ(!test_elevated(), w.item(id_restart_elevated) != nullptr);
    // About: the version and the home page.
    EXPECT_EQ(0u, window_text(w.item(id_version)).find(L"quorvane-shellex 3.0.")) << window_text(w.item(id_version));
    EXPECT_EQ(L"SysLink", class_name(w.item(id_home_page)));
    EXPECT_NE(std::wstring::npos, window_text(w.item(id_home_page)).find(L"Home page"));
    // The manifest brings common controls 6: Windows (and Wine) load them
    // from the side-by-side store, not from system32.
    std::wstring folders = common_controls_folders(w.process.hProcess);
    EXPECT_NE(std::wstring::npos, folders.find(L"\\winsxs\\amd64_microsoft.windows.common-controls_6595b64144ccf1df_6.0."))
        << testing::PrintToString(folders);
    // The manifest makes it aware of each monitor's DPI.
    EXPECT_EQ(2, dpi_awareness(w.dialog));

    click(w.item(IDCANCEL));
    EXPECT_EQ(0u, w.exit_code());
    EXPECT_EQ(before, user_values());
}

TEST(SettingsWindow, ApplyAndOKWriteTheChangedValuesForTheUserAndCancelWritesNothing)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    std::vector<std::wstring> machine = machine_values();
    {
        settings_window w;
        ASSERT_NE(nullptr, w.dialog);
        click(w.control(L"HideItemDotDot"));
        ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
        EXPECT_TRUE(w.checked(L"HideItemDotDot"));
        EXPECT_EQ(L"changed", w.source(L"HideItemDotDot"));
        EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, settings_key));

        click(w.item(id_apply));
        ASSERT_TRUE(wait_until([&] { return !w.apply_enabled(); }));
        EXPECT_EQ(L"this user", w.source(L"HideItemDotDot"));
        EXPECT_EQ(2u, user_values().size());  // the key and one value
        EXPECT_EQ(1, user_dword(L"HideItemDotDot"));
        EXPECT_EQ(machine, machine_values());

        set_edit_text(w.control(L"MaxMenuItems"), L"250");
        choose_entry(w.control(L"HideFileExtension"), 0);
        ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
        click(w.item(IDCANCEL));
        EXPECT_EQ(0u, w.exit_code());
    }
    EXPECT_EQ(2u, user_values().size());
    EXPECT_EQ(-1, user_dword(L"MaxMenuItems"));

    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    EXPECT_EQ(L"50", window_text(w.control(L"MaxMenuItems")));
    EXPECT_TRUE(w.checked(L"HideItemDotDot"));
    set_edit_text(w.control(L"MaxMenuItems"), L"250");
    choose_entry(w.control(L"HideFileExtension"), 0);
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    EXPECT_EQ(L"changed", w.source(L"MaxMenuItems"));
    click(w.item(IDOK));
    EXPECT_EQ(0u, w.exit_code());
    EXPECT_EQ(4u, user_values().size());
    EXPECT_EQ(250, user_dword(L"MaxMenuItems"));
    EXPECT_EQ(0, user_dword(L"HideFileExtension"));
    EXPECT_EQ(machine, machine_values());

    // The extension's loader sees the user's values over the machine's.
    qv_config config;
    config.load();
    EXPECT_EQ(250u, config.MaxMenuItems);
    EXPECT_EQ(0u, config.HideFileExtension);
    EXPECT_EQ(1u, config.HideItemDotDot);
}

TEST(SettingsWindow, BadNumbersAreRefusedWithAMessageAndNothingIsWritten)
{
    settings_scope scope;
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    click(w.control(L"OnlyAllowedOnDesktop"));
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    struct bad_number {
        const wchar_t *text, *reason;
    };
    for (bad_number bad : {bad_number{L"abc", L"Only the digits"}, bad_number{L"-5", L"Negative"},
                           bad_number{L"4294967296", L"largest"}, bad_number{L"", L"empty"},
                           bad_number{L"12 3", L"Only the digits"}, bad_number{L"5001", L"largest"}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(bad.text)));
        set_edit_text(w.control(L"ListingTimeLimit"), bad.text);
        click(w.item(bad.text[0] == L'-' ? IDOK : id_apply));  // OK refuses as Apply does
        std::wstring text;
        HWND box = w.message_box(&text);
        ASSERT_NE(nullptr, box);
        EXPECT_NE(std::wstring::npos, text.find(L"Wait for a listing (ms)")) << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(bad.reason)) << testing::PrintToString(text);
        // The range of the setting: 0 to 5,000 ms, in the user's digits.
        EXPECT_NE(std::wstring::npos, text.find(L"from 0 to 5")) << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(L"Nothing was saved")) << testing::PrintToString(text);
        click(GetDlgItem(box, IDOK));
        EXPECT_TRUE(wait_until([&] { return !IsWindow(box); }));
        EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, settings_key));
        EXPECT_TRUE(IsWindow(w.dialog));
        EXPECT_TRUE(w.apply_enabled());
    }

    set_edit_text(w.control(L"ListingTimeLimit"), L"300");
    set_edit_text(w.control(L"MaxMenuItems"), L" 4294967295 ");
    click(w.item(id_apply));
    ASSERT_TRUE(wait_until([&] { return !w.apply_enabled(); }));
    qv_config config;
    config.load();
    EXPECT_EQ(0xFFFFFFFFu, config.MaxMenuItems);
    EXPECT_EQ(1u, config.OnlyAllowedOnDesktop);
    EXPECT_EQ(L"4294967295", window_text(w.control(L"MaxMenuItems")));
}

TEST(SettingsWindow, ResetRemovesTheUsersValuesOnApply)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    scope.set_user(L"MaxMenuItems", 7);
    scope.set_user(L"HideItemLogo", 1);
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, settings_key, L"NotASetting", REG_SZ, L"x", 4));
    std::vector<std::wstring> user = user_values(), machine = machine_values();

    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    EXPECT_EQ(L"7", window_text(w.control(L"MaxMenuItems")));
    click(w.item(id_reset));
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    // The values that remain without the user's, written only by Apply.
    EXPECT_EQ(L"50", window_text(w.control(L"MaxMenuItems")));
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    EXPECT_FALSE(w.checked(L"HideItemLogo"));
    EXPECT_EQ(L"default", w.source(L"HideItemLogo"));
    EXPECT_EQ(user, user_values());
    click(w.item(id_apply));
    ASSERT_TRUE(wait_until([&] { return !w.apply_enabled(); }));
    std::vector<std::wstring> left = user_values();
    ASSERT_EQ(2u, left.size());  // the key and the value that is no setting
    EXPECT_NE(std::wstring::npos, left[1].find(L"NotASetting"));
    EXPECT_EQ(machine, machine_values());
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    EXPECT_EQ(L"default", w.source(L"HideItemLogo"));
}

TEST(SettingsWindow, ForAllUsersWritesTheMachineValues)
{
    if (!test_elevated())
        GTEST_SKIP() << "not elevated: the window offers the machine's values to administrators only";
    settings_scope scope;
    scope.set_user(L"HideItemLogo", 0);
    scope.set_user(L"MaxMenuItems", 50);
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    click(w.item(id_for_all_users));
    ASSERT_TRUE(wait_until([&] { return IsDlgButtonChecked(w.dialog, id_for_all_users) == BST_CHECKED; }));
    // Ticking it is a change: every value shown is written.
    EXPECT_TRUE(w.apply_enabled());
    for (const wchar_t *name : {L"HideItemLogo", L"OnlyAllowedOnDesktop"}) {
        click(w.control(name));
        ASSERT_TRUE(wait_until([&] { return w.checked(name); }));
    }
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    click(w.item(IDOK));
    EXPECT_EQ(0u, w.exit_code());
    std::vector<std::wstring> machine = machine_values();
    // The key and every setting the window shows.
    EXPECT_EQ((size_t)setting_count, machine.size());
    // The user's own values go, so the machine's count for this user too.
    EXPECT_EQ(1u, user_values().size());
    qv_config config;
    config.load();
    EXPECT_EQ(1u, config.HideItemLogo);
    EXPECT_EQ(1u, config.OnlyAllowedOnDesktop);
    EXPECT_EQ(50u, config.MaxMenuItems);
    DWORD value = 0, size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE, settings_key, L"MaxMenuItems", RRF_RT_REG_DWORD, NULL,
                                          &value, &size));
    EXPECT_EQ(50u, value);
}

// The module's registration for all users, set for one test and put back.
class machine_registration {
public:
    machine_registration() { had_ = reg_read_string(HKEY_LOCAL_MACHINE, key, NULL, &old_); }
    ~machine_registration()
    {
        if (had_)
            set(old_);
        else
            reg_delete_tree(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" QV_CLSID_STRING);
    }
    void set(const std::wstring &module)
    {
        EXPECT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, key, NULL, REG_SZ, module.c_str(),
                                  (DWORD)((module.size() + 1) * sizeof(wchar_t))));
    }

private:
    static constexpr const wchar_t *key =
        L"Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32";
    bool had_ = false;
    std::wstring old_;
};

// The image path of a process, lower case.
std::wstring image_of(DWORD process_id)
{
    wchar_t path[MAX_PATH] = L"";
    DWORD size = MAX_PATH;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (process) {
        QueryFullProcessImageNameW(process, 0, path, &size);
        CloseHandle(process);
    }
    return _wcslwr(path);
}

// "For all users..." never starts this copy elevated: only the copy beside
// the module registered for all users under Program Files; without one, it
// says how an administrator sets those values.
TEST(SettingsWindow, ForAllUsersStartsOnlyTheCopyUnderProgramFiles)
{
    // An elevated test starts the windows with its limited twin token.
    HANDLE token = NULL;
    if (test_elevated()) {
        HANDLE own = NULL;
        TOKEN_LINKED_TOKEN linked = {};
        DWORD size = 0;
        OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own);
        if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked), &size))
            GTEST_SKIP() << "elevated, without a limited token to start the window with";
        CloseHandle(own);
        token = linked.LinkedToken;
    }
    struct token_closer {
        HANDLE token;
        ~token_closer() { if (token) CloseHandle(token); }
    } closer{token};
    machine_registration registration;
    // Registered beside this copy, outside Program Files: no machine copy.
    registration.set(test_dll_path());
    {
        settings_window w(L"", token);
        ASSERT_NE(nullptr, w.dialog);
        ASSERT_NE(nullptr, w.item(id_restart_elevated)) << "a window that is not elevated";
        click(w.item(id_restart_elevated));
        std::wstring text;
        HWND box = w.message_box(&text);
        ASSERT_NE(nullptr, box);
        EXPECT_NE(std::wstring::npos, text.find(L"administrator")) << testing::PrintToString(text);
        EXPECT_NE(std::wstring::npos, text.find(L".admx")) << testing::PrintToString(text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(w.process.hProcess, 500)) << "the window stays";
    }

    // The install for all users: its copy starts, and this window closes.
    wchar_t program_files[MAX_PATH];
    ASSERT_TRUE(GetEnvironmentVariableW(L"ProgramW6432", program_files, MAX_PATH));
    const std::wstring folder = std::wstring(program_files) + L"\\qv-settings-test";
    const std::wstring machine_copy = folder + L"\\qv-settings.exe";
    ASSERT_TRUE(make_dir(folder));
    ASSERT_TRUE(CopyFileW((test_bin_dir() + L"\\qv-settings.exe").c_str(), machine_copy.c_str(), FALSE));
    registration.set(folder + L"\\quorvane-shellex.dll");
    settings_window w(L"", token);
    ASSERT_NE(nullptr, w.dialog);
    click(w.item(id_restart_elevated));
    EXPECT_EQ(0u, w.exit_code());
    // Whatever the platform makes of "runas", the program it starts is the
    // copy under Program Files.
    HWND started = NULL;
    EXPECT_TRUE(wait_until([&] {
        for (HWND top = GetTopWindow(NULL); top; top = GetWindow(top, GW_HWNDNEXT)) {
            DWORD id = 0;
            GetWindowThreadProcessId(top, &id);
            if (class_name(top) == L"#32770" && IsWindowVisible(top) &&
                image_of(id).find(L"qv-settings-test") != std::wstring::npos) {
                started = top;
                return true;
            }
        }
        return false;
    }, 20000));
    if (started)
        PostMessageW(started, WM_COMMAND, IDCANCEL, 0);
    wait_until([&] { return DeleteFileW(machine_copy.c_str()) != 0; });
    RemoveDirectoryW(folder.c_str());
}

// A window that runs as administrator opens no browser, which would run as
// administrator too: the link shows the address instead.
TEST(SettingsWindow, AnElevatedWindowShowsTheHomePageInsteadOfOpeningIt)
{
    if (!test_elevated())
        GTEST_SKIP() << "not elevated: the link opens the browser";
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    RECT link;
    GetWindowRect(w.item(id_home_page), &link);
    mouse_at({link.left + 8, (link.top + link.bottom) / 2}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
    std::wstring text;
    HWND box = w.message_box(&text);
    ASSERT_NE(nullptr, box) << "no message: the link was followed";
    EXPECT_NE(std::wstring::npos, text.find(L"http")) << testing::PrintToString(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(SettingsWindow, TheValueTheUserGetsAnywayIsNoValueOfTheirOwn)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    scope.set_user(L"MaxMenuItems", 7);
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    // The machine's value, as a number: the user's own value will go.
    set_edit_text(w.control(L"MaxMenuItems"), L"050");
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    // The default, written another way, is no change.
    set_edit_text(w.control(L"ListingTimeLimit"), L"0300");
    EXPECT_EQ(L"default", w.source(L"ListingTimeLimit"));
    click(w.item(id_apply));
    ASSERT_TRUE(wait_until([&] { return !w.apply_enabled(); }));
    EXPECT_EQ(-1, user_dword(L"MaxMenuItems"));
    EXPECT_EQ(-1, user_dword(L"ListingTimeLimit"));
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    EXPECT_EQ(L"300", window_text(w.control(L"ListingTimeLimit")));
}

TEST(SettingsWindow, DefaultTakesOneSettingBackToNotSetForTheUser)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    scope.set_user(L"MaxMenuItems", 7);
    scope.set_user(L"HideItemLogo", 1);
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    click(w.item(setting_default_id(index_of(L"MaxMenuItems"))));
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    EXPECT_EQ(L"50", window_text(w.control(L"MaxMenuItems")));
    EXPECT_EQ(L"this machine", w.source(L"MaxMenuItems"));
    EXPECT_TRUE(w.checked(L"HideItemLogo"));
    EXPECT_EQ(L"this user", w.source(L"HideItemLogo"));
    click(w.item(id_apply));
    ASSERT_TRUE(wait_until([&] { return !w.apply_enabled(); }));
    EXPECT_EQ(-1, user_dword(L"MaxMenuItems"));
    EXPECT_EQ(1, user_dword(L"HideItemLogo"));

    click(w.item(setting_default_id(index_of(L"HideItemLogo"))));
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    EXPECT_FALSE(w.checked(L"HideItemLogo"));
    EXPECT_EQ(L"default", w.source(L"HideItemLogo"));
    click(w.item(IDOK));
    EXPECT_EQ(0u, w.exit_code());
    EXPECT_EQ(1u, user_values().size());  // the key alone
}

TEST(SettingsWindow, APolicyValueIsShownAsPolicyAndCannotBeChanged)
{
    settings_scope scope;
    scope.set_user(L"MaxMenuItems", 7);
    scope.set_policy(HKEY_LOCAL_MACHINE, L"MaxMenuItems", 20);
    scope.set_policy(HKEY_CURRENT_USER, L"HideItemLogo", 1);
    const std::wstring policy_key = L"Software\\Policies\\Quorvane\\Shellex";
    std::vector<std::wstring> policies = reg_snapshot(HKEY_LOCAL_MACHINE, policy_key),
                              user_policies = reg_snapshot(HKEY_CURRENT_USER, policy_key);
    settings_window w;
    ASSERT_NE(nullptr, w.dialog);
    EXPECT_EQ(L"20", window_text(w.control(L"MaxMenuItems")));
    EXPECT_TRUE(w.checked(L"HideItemLogo"));
    for (const wchar_t *name : {L"MaxMenuItems", L"HideItemLogo"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
        EXPECT_EQ(L"policy", w.source(name));
        EXPECT_FALSE(IsWindowEnabled(w.control(name)));
        EXPECT_FALSE(IsWindowEnabled(w.item(setting_default_id(index_of(name)))));
    }
    // Neither Reset nor "For all users" touches them.
    click(w.item(id_reset));
    click(w.control(L"HideItemDotDot"));
    ASSERT_TRUE(wait_until([&] { return w.apply_enabled(); }));
    if (test_elevated())
        click(w.item(id_for_all_users));
    click(w.item(IDOK));
    EXPECT_EQ(0u, w.exit_code());
    EXPECT_EQ(7, user_dword(L"MaxMenuItems"));
    EXPECT_EQ(-1, user_dword(L"HideItemLogo"));
    if (test_elevated()) {
        std::vector<std::wstring> machine = machine_values();
        EXPECT_EQ((size_t)setting_count - 2, machine.size());  // the key, every setting shown but those two
    } else {
        EXPECT_EQ(1, user_dword(L"HideItemDotDot"));
    }
    EXPECT_EQ(policies, reg_snapshot(HKEY_LOCAL_MACHINE, policy_key));
    EXPECT_EQ(user_policies, reg_snapshot(HKEY_CURRENT_USER, policy_key));
}

TEST(SettingsWindow, SavesAPictureOfItself)
{
    settings_scope scope;
    temp_dir dir;
    std::wstring picture = dir / L"settings.png";
    EXPECT_EQ(0u, run_process(L"\"" + test_bin_dir() + L"\\qv-settings.exe\" --screenshot \"" + picture + L"\""));
    std::string png = read_file(picture);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(0, memcmp(png.data(), "\x89PNG\r\n\x1a\n", 8));
    // IHDR: width and height, big-endian, after the signature and the chunk header.
    auto be32 = [&](size_t at) {
        return (DWORD)(BYTE)png[at] << 24 | (DWORD)(BYTE)png[at + 1] << 16 | (DWORD)(BYTE)png[at + 2] << 8 |
               (DWORD)(BYTE)png[at + 3];
    };
    EXPECT_GT(be32(16), 400u);
    EXPECT_GT(be32(20), 300u);
    EXPECT_FALSE(reg_key_exists(HKEY_CURRENT_USER, settings_key));
}

// What Explorer shows for the program: its icon (the packages' too) and,
// under Properties > Details, the module's version.
TEST(SettingsWindow, ProgramCarriesAnIconAndTheModulesVersion)
{
    const std::wstring program = test_bin_dir() + L"\\qv-settings.exe";
    EXPECT_GT(ExtractIconExW(program.c_str(), -1, NULL, NULL, 0), 0u);
    auto version_of = [](const std::wstring &file) {
        DWORD size = GetFileVersionInfoSizeW(file.c_str(), NULL);
        std::vector<BYTE> info(size ? size : 1);
        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT length = 0;
        if (!size || !GetFileVersionInfoW(file.c_str(), 0, size, info.data()) ||
            !VerQueryValueW(info.data(), L"\\", (void **)&fixed, &length) || !fixed)
            return std::make_pair(0ul, 0ul);
        return std::make_pair(fixed->dwFileVersionMS, fixed->dwFileVersionLS);
    };
    EXPECT_NE(0ul, version_of(program).first);
    EXPECT_TRUE(version_of(program) == version_of(test_dll_path()));
}
