// Self-registration: the template expansion, then regsvr32 on the built
// module against the prefix's real registry, and COM finding the class.
#include <gtest/gtest.h>
#include <olectl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <wchar.h>
#include <string>
#include <vector>
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "module/registration.h"
#include "test_support.h"

// ---- expand_template ----

static const WCHAR *const sample_values[3] = {L"zero", L"one", L"two"};

TEST(ExpandTemplate, EachPlaceholderAndPositions)
{
    const char templ[] = "A$0B$1C$2D";
    WCHAR out[64];
    qv_expansion r = expand_template(out, 64, templ, sample_values);
    EXPECT_STREQ(L"AzeroBoneCtwoD", out);
    EXPECT_EQ(3, r.replaced);
    EXPECT_EQ(out + wcslen(L"AzeroBoneCtwoD"), r.end);
    EXPECT_EQ(0, *r.end);
    EXPECT_EQ(templ + sizeof(templ), r.next);
    EXPECT_FALSE(r.truncated);
}

TEST(ExpandTemplate, WalksConsecutiveTemplatesIncludingAnEmptyOne)
{
    // Key, empty value name, data: laid out as in a table record.
    const char record[] = "k\\$1\0\0$0";
    WCHAR key[32], name[32], data[32];
    qv_expansion k = expand_template(key, 32, record, sample_values);
    qv_expansion n = expand_template(name, 32, k.next, sample_values);
    qv_expansion d = expand_template(data, 32, n.next, sample_values);
    EXPECT_STREQ(L"k\\one", key);
    EXPECT_EQ(1, k.replaced);
    EXPECT_EQ(record + 5, k.next);
    EXPECT_STREQ(L"", name);
    EXPECT_EQ(name, n.end);
    EXPECT_EQ(0, n.replaced);
    EXPECT_EQ(record + 6, n.next);
    EXPECT_STREQ(L"zero", data);
    EXPECT_EQ(record + sizeof(record), d.next);
}

TEST(ExpandTemplate, OtherDollarsAndBytesStandAsWritten)
{
    struct {
        const char *templ;
        const WCHAR *expected;
        int replaced;
    } cases[] = {
        {"$3", L"$3", 0},
        {"$x$", L"$x$", 0},
        {"$$0", L"$zero", 1},
        {"100$", L"100$", 0},
        {"$", L"$", 0},
        {"\xE9\x80", L"\x00E9\x0080", 0},  // bytes widen without a code page
    };
    for (const auto &c : cases) {
        WCHAR out[16];
        qv_expansion r = expand_template(out, 16, c.templ, sample_values);
        EXPECT_STREQ(c.expected, out) << c.templ;
        EXPECT_EQ(c.replaced, r.replaced) << c.templ;
        EXPECT_EQ(c.templ + strlen(c.templ) + 1, r.next) << c.templ;
    }
    // A "$" just before the NUL must not reach into the bytes that follow.
    const char tail[] = "a$\0" "0Z";
    WCHAR out[16];
    qv_expansion r = expand_template(out, 16, tail, sample_values);
    EXPECT_STREQ(L"a$", out);
    EXPECT_EQ(tail + 3, r.next);
}

TEST(ExpandTemplate, NeverWritesPastCapacity)
{
    const WCHAR *values[3] = {L"abcdefgh", L"", nullptr};
    WCHAR out[8];
    wmemset(out, L'#', 8);
    qv_expansion r = expand_template(out, 5, "$0", values);
    EXPECT_TRUE(r.truncated);
    EXPECT_STREQ(L"abcd", out);
    EXPECT_EQ(out + 4, r.end);
    EXPECT_EQ(L'#', out[5]);
    EXPECT_EQ(1, r.replaced);

    // Exactly fitting is not truncation; an empty or missing value inserts nothing.
    r = expand_template(out, 5, "x$1$2yz", values);
    EXPECT_FALSE(r.truncated);
    EXPECT_STREQ(L"xyz", out);
    r = expand_template(out, 4, "abc", values);
    EXPECT_FALSE(r.truncated);
    r = expand_template(out, 3, "abc", values);
    EXPECT_TRUE(r.truncated);
    EXPECT_STREQ(L"ab", out);

    // No room at all: nothing written, the next template still found.
    wmemset(out, L'#', 8);
    const char templ[] = "abc";
    r = expand_template(out, 0, templ, values);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(nullptr, r.end);
    EXPECT_EQ(L'#', out[0]);
    EXPECT_EQ(templ + 4, r.next);
    r = expand_template(out, 1, templ, values);
    EXPECT_STREQ(L"", out);
    EXPECT_EQ(L'#', out[1]);
}

// ---- the registry, through regsvr32 ----

static const std::wstring clsid_string = QV_CLSID_STRING;
static const std::wstring clsid_key = L"Software\\Classes\\CLSID\\" + clsid_string;
static const std::wstring inproc_key = clsid_key + L"\\InprocServer32";
static const std::wstring approved_key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
static const HKEY hives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
static const wchar_t *const handler_names[] = {QV_HANDLER_NAME, QV_LEGACY_HANDLER_NAME};

// The handler keys registration writes, and the ones only ever removed.
static std::vector<std::wstring> handler_keys(const wchar_t *name, bool with_removed_only)
{
    std::vector<std::wstring> parents = {
        L"Directory\\shellex\\ContextMenuHandlers", L"Drive\\shellex\\ContextMenuHandlers",
        L"lnkfile\\shellex\\ContextMenuHandlers",   L"Directory\\shellex\\DragDropHandlers",
        L"Drive\\shellex\\DragDropHandlers",        L"lnkfile\\shellex\\DragDropHandlers",
    };
    if (with_removed_only) {
        parents.push_back(L"batfile\\shellex\\ContextMenuHandlers");
        parents.push_back(L"cmdfile\\shellex\\ContextMenuHandlers");
    }
    std::vector<std::wstring> keys;
    for (const std::wstring &parent : parents)
        keys.push_back(L"Software\\Classes\\" + parent + L"\\" + name);
    return keys;
}

static std::wstring hive_name(HKEY hive)
{
    return hive == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\";
}

// Every key or value of ours still present in either hive, under either name.
static std::vector<std::wstring> leftovers()
{
    std::vector<std::wstring> found;
    for (HKEY hive : hives) {
        std::vector<std::wstring> keys = {clsid_key};
        for (const wchar_t *name : handler_names)
            for (const std::wstring &key : handler_keys(name, true))
                keys.push_back(key);
        for (const std::wstring &key : keys)
            if (reg_key_exists(hive, key))
                found.push_back(hive_name(hive) + key);
        if (reg_read_string(hive, approved_key, clsid_string.c_str(), nullptr))
            found.push_back(hive_name(hive) + approved_key + L" : " + clsid_string);
    }
    return found;
}

static std::wstring joined(const std::vector<std::wstring> &items)
{
    std::wstring text;
    for (const std::wstring &item : items)
        text += item + L"\n";
    return text;
}

static void expect_string(HKEY hive, const std::wstring &key, const wchar_t *name, const std::wstring &expected)
{
    std::wstring value;
    DWORD type = 0;
    ASSERT_TRUE(reg_read_string(hive, key, name, &value, &type)) << hive_name(hive) << key;
    EXPECT_EQ(expected, value) << key;
    EXPECT_EQ((DWORD)REG_SZ, type) << key;
}

static void plant_string(HKEY hive, const std::wstring &key, const wchar_t *name, const std::wstring &data)
{
    ASSERT_TRUE(reg_set_value(hive, key, name, REG_SZ, data.c_str(), (DWORD)((data.size() + 1) * sizeof(wchar_t))));
}

// Every test starts and ends with nothing of ours in the shared prefix.
class Registration : public ::testing::Test {
protected:
    void SetUp() override { scrub(); }
    void TearDown() override
    {
        scrub();
        EXPECT_EQ(L"", joined(leftovers()));
    }
    static void scrub()
    {
        run_regsvr32(test_dll_path(), L"/u");
        for (HKEY hive : hives) {
            reg_delete_tree(hive, clsid_key);
            for (const wchar_t *name : handler_names)
                for (const std::wstring &key : handler_keys(name, true))
                    reg_delete_tree(hive, key);
            SHDeleteValueW(hive, approved_key.c_str(), clsid_string.c_str());
        }
    }
};

TEST_F(Registration, RegisterWritesEveryEntryMachineWide)
{
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));

    expect_string(HKEY_LOCAL_MACHINE, clsid_key, L"", L"quorvane-shellex");
    expect_string(HKEY_LOCAL_MACHINE, inproc_key, L"", test_dll_path());
    expect_string(HKEY_LOCAL_MACHINE, inproc_key, L"ThreadingModel", L"Apartment");
    // Present, so that Explorer loads the handler for selections of cloud
    // files that are not fully local; the data is not read.
    expect_string(HKEY_LOCAL_MACHINE, clsid_key, L"ContextMenuOptIn", L"");
    for (const std::wstring &key : handler_keys(QV_HANDLER_NAME, false))
        expect_string(HKEY_LOCAL_MACHINE, key, L"", clsid_string);
    expect_string(HKEY_LOCAL_MACHINE, approved_key, clsid_string.c_str(), L"quorvane-shellex");

    // Nothing in the user hive, nothing under the legacy name, no batfile or
    // cmdfile handlers.
    std::vector<std::wstring> expected = {L"HKLM\\" + clsid_key};
    for (const std::wstring &key : handler_keys(QV_HANDLER_NAME, false))
        expected.push_back(L"HKLM\\" + key);
    expected.push_back(L"HKLM\\" + approved_key + L" : " + clsid_string);
    EXPECT_EQ(joined(expected), joined(leftovers()));

    // The registry form of the CLSID: braces, 32 upper-case hex digits, four
    // hyphens, denoting the class's GUID.
    ASSERT_EQ(38u, clsid_string.size());
    EXPECT_EQ(std::wstring::npos, clsid_string.find_first_not_of(L"{}-0123456789ABCDEF"));
    CLSID parsed;
    ASSERT_EQ(S_OK, CLSIDFromString(clsid_string.c_str(), &parsed));
    EXPECT_TRUE(IsEqualCLSID(CLSID_QuorvaneShellex, parsed));

    // Registering twice changes nothing.
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
    EXPECT_EQ(joined(expected), joined(leftovers()));
}

TEST_F(Registration, UnregisterRemovesBothNamesInBothHives)
{
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
    // What older versions and per-user installs left behind.
    for (HKEY hive : hives) {
        plant_string(hive, clsid_key, L"", L"QuorVane");
        plant_string(hive, clsid_key, L"ContextMenuOptIn", L"");
        plant_string(hive, inproc_key, L"", L"C:\\old\\quorvane-shellex.dll");
        plant_string(hive, inproc_key, L"ThreadingModel", L"Apartment");
        for (const wchar_t *name : handler_names)
            for (const std::wstring &key : handler_keys(name, true))
                plant_string(hive, key, L"", clsid_string);
    }
    // Another extension's approval shares the list key and must survive.
    const wchar_t other[] = L"{00000000-1111-2222-3333-444444444444}";
    plant_string(HKEY_LOCAL_MACHINE, approved_key, other, L"other");

    ASSERT_EQ(0u, run_regsvr32(test_dll_path(), L"/u"));
    EXPECT_EQ(L"", joined(leftovers()));
    std::wstring kept;
    EXPECT_TRUE(reg_read_string(HKEY_LOCAL_MACHINE, approved_key, other, &kept));
    EXPECT_EQ(L"other", kept);
    SHDeleteValueW(HKEY_LOCAL_MACHINE, approved_key.c_str(), other);
    // The shared parents of the handler keys stay.
    EXPECT_TRUE(reg_key_exists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Directory\\shellex\\ContextMenuHandlers"));
}

TEST_F(Registration, UnregisterOnCleanPrefixSucceeds)
{
    ASSERT_EQ(L"", joined(leftovers()));
    EXPECT_EQ(0u, run_regsvr32(test_dll_path(), L"/u"));
    EXPECT_EQ(S_OK, DllUnregisterServer());
    EXPECT_EQ(L"", joined(leftovers()));
}

TEST_F(Registration, UnregisterReportsWhatCannotBeRemoved)
{
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));
    // A subkey someone else put under our handler key keeps it alive.
    const std::wstring handler = handler_keys(QV_HANDLER_NAME, false)[0];
    plant_string(HKEY_LOCAL_MACHINE, handler + L"\\foreign", L"", L"x");

    EXPECT_NE(0u, run_regsvr32(test_dll_path(), L"/u"));
    HRESULT hr = DllUnregisterServer();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    // Everything else went.
    EXPECT_EQ(L"HKLM\\" + handler + L"\n", joined(leftovers()));
    reg_delete_tree(HKEY_LOCAL_MACHINE, handler);
}

TEST_F(Registration, FailedWriteIsReportedAndTheRestWritten)
{
    // Children of a volatile key must be volatile too: InprocServer32 cannot
    // be created under this CLSID key.
    HKEY volatile_key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, clsid_key.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &volatile_key, nullptr));
    RegCloseKey(volatile_key);

    EXPECT_NE(0u, run_regsvr32(test_dll_path()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE), DllRegisterServer());
    // The walk went on past the failing entries.
    EXPECT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, inproc_key));
    expect_string(HKEY_LOCAL_MACHINE, clsid_key, L"", L"quorvane-shellex");
    for (const std::wstring &key : handler_keys(QV_HANDLER_NAME, false))
        expect_string(HKEY_LOCAL_MACHINE, key, L"", clsid_string);
    expect_string(HKEY_LOCAL_MACHINE, approved_key, clsid_string.c_str(), L"quorvane-shellex");

    EXPECT_EQ(0u, run_regsvr32(test_dll_path(), L"/u"));
    EXPECT_EQ(L"", joined(leftovers()));
}

TEST_F(Registration, UnknownModuleWritesNothing)
{
    HINSTANCE saved = g_module;
    g_module = (HINSTANCE)(ULONG_PTR)0x5a5a0000;
    HRESULT hr = DllRegisterServer();
    g_module = saved;
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(L"", joined(leftovers()));
}

// Copies the module into a new folder under `base`, chosen so that the copy's
// full path is `length` characters long, and loads it.
class long_path_module {
public:
    long_path_module(const temp_dir &base, size_t length)
    {
        std::wstring dir = base / std::to_wstring(length);
        const std::wstring file = L"\\quorvane-shellex.dll";
        // Each folder added takes a backslash and at least one character:
        // one character may never be left over (the temporary folder's name,
        // and so its length, varies with the process id).
        if (dir.size() + file.size() + 1 == length)
            dir += L"x";
        if (!CreateDirectoryW(dir.c_str(), nullptr))
            return;
        while (dir.size() + file.size() < length) {
            size_t left = length - dir.size() - file.size();
            size_t part = left - 1 > 100 ? 100 : left - 1;
            if (left - 1 - part == 1)
                part--;
            dir += L"\\" + std::wstring(part, L'd');
            if (!CreateDirectoryW((L"\\\\?\\" + dir).c_str(), nullptr))
                return;
        }
        path_ = dir + file;
        if (!CopyFileW(test_dll_path().c_str(), (L"\\\\?\\" + path_).c_str(), FALSE))
            return;
        module_ = LoadLibraryW((L"\\\\?\\" + path_).c_str());
    }
    ~long_path_module()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE module() const { return module_; }
    const std::wstring &path() const { return path_; }
    HRESULT call(const char *export_name) const
    {
        typedef HRESULT(WINAPI * entry_fn)(void);
        entry_fn entry = (entry_fn)(void *)GetProcAddress(module_, export_name);
        return entry ? entry() : E_NOTIMPL;
    }

private:
    HMODULE module_ = nullptr;
    std::wstring path_;
};

TEST_F(Registration, ModulePathMustFitWhole)
{
    temp_dir base(L"qvlong");
    {
        // 260 characters fill GetModuleFileNameW's buffer: the path would be cut.
        long_path_module full(base, MAX_PATH);
        ASSERT_NE(nullptr, full.module());
        wchar_t name[1024];
        ASSERT_EQ((DWORD)MAX_PATH, GetModuleFileNameW(full.module(), name, 1024));
        EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), full.call("DllRegisterServer"));
        EXPECT_EQ(L"", joined(leftovers()));
    }
    {
        // 259 characters and the NUL fit.
        long_path_module fits(base, MAX_PATH - 1);
        ASSERT_NE(nullptr, fits.module());
        wchar_t name[1024];
        ASSERT_EQ((DWORD)(MAX_PATH - 1), GetModuleFileNameW(fits.module(), name, 1024));
        EXPECT_EQ(S_OK, fits.call("DllRegisterServer"));
        expect_string(HKEY_LOCAL_MACHINE, inproc_key, L"", name);
        EXPECT_EQ(S_OK, fits.call("DllUnregisterServer"));
    }
    remove_tree(L"\\\\?\\" + base.path());
}

// ---- COM finds and loads the registered module ----

TEST_F(Registration, CoCreateInstanceLoadsRegisteredModule)
{
    IShellExtInit *init = nullptr;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_QuorvaneShellex, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IShellExtInit, (void **)&init));
    ASSERT_EQ(0u, run_regsvr32(test_dll_path()));

    for (int round = 0; round < 2; round++) {
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                         (void **)&init));
        ASSERT_NE(nullptr, init);
        // The object comes from the registered file, not from this program.
        EXPECT_NE(nullptr, GetModuleHandleW(test_dll_path().c_str()));
        IContextMenu *menu = nullptr;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, (void **)&menu));
        ASSERT_NE(nullptr, menu);
        menu->Release();
        init->Release();
        init = nullptr;
        CoFreeUnusedLibraries();
    }

    ASSERT_EQ(0u, run_regsvr32(test_dll_path(), L"/u"));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_QuorvaneShellex, nullptr, CLSCTX_INPROC_SERVER,
                                                    IID_IShellExtInit, (void **)&init));
}
