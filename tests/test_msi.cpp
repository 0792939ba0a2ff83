// The installer package under msiexec: the file it installs, the registry it
// writes (compared with a fresh walk of the registration table), COM finding
// the installed class, and what uninstalling leaves behind.
#include <gtest/gtest.h>
#include <windows.h>
#include <msi.h>
#include <msidefs.h>
#include <msiquery.h>
#include <olectl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "module/registration.h"
#include "test_support.h"

#ifndef QV_MSI_NAME
#error QV_MSI_NAME names the package file
#endif

// The package, built into ..\dist beside the test programs' folder.
static std::wstring package_path()
{
    std::wstring relative = test_bin_dir() + L"\\..\\dist\\" L"" QV_MSI_NAME;
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? std::wstring(full, n) : relative;
}

static std::wstring install_dir()
{
    wchar_t program_files[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files)))
        return L"";
    return std::wstring(program_files) + L"\\quorvane-shellex";
}

static std::wstring installed_module()
{
    return install_dir() + L"\\quorvane-shellex.dll";
}

static DWORD msiexec(const wchar_t *action, const std::wstring &target)
{
    return run_process(std::wstring(L"msiexec.exe ") + action + L" \"" + target + L"\" /qn", 120000);
}

static std::wstring package_property(const wchar_t *name)
{
    std::wstring value;
    MSIHANDLE db = 0, view = 0, record = 0;
    if (MsiOpenDatabaseW(package_path().c_str(), MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS)
        return value;
    std::wstring query = std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property` = '") + name + L"'";
    if (MsiDatabaseOpenViewW(db, query.c_str(), &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS &&
        MsiViewFetch(view, &record) == ERROR_SUCCESS) {
        wchar_t buffer[256];
        DWORD size = ARRAYSIZE(buffer);
        if (MsiRecordGetStringW(record, 1, buffer, &size) == ERROR_SUCCESS)
            value = buffer;
        MsiCloseHandle(record);
    }
    if (view)
        MsiCloseHandle(view);
    MsiCloseHandle(db);
    return value;
}

// Product codes of every installed version of the package (one upgrade code
// for all of them; each build gets a new product code).
static std::vector<std::wstring> installed_products()
{
    std::vector<std::wstring> products;
    std::wstring upgrade = package_property(L"UpgradeCode");
    wchar_t product[39];
    for (DWORD i = 0; !upgrade.empty() && MsiEnumRelatedProductsW(upgrade.c_str(), 0, i, product) == ERROR_SUCCESS; i++)
        products.push_back(product);
    return products;
}

// ---- the registration table, walked in process ----

struct expected_value {
    HKEY root;
    std::wstring key, name, data;
    bool key_is_ours;
};

static DWORD collect(const qv_registry_entry *entry, void *context)
{
    ((std::vector<expected_value> *)context)
        ->push_back({entry->root, entry->key, entry->name, std::wstring(entry->data, entry->data_length), entry->key_is_ours});
    return ERROR_SUCCESS;
}

static std::vector<expected_value> table_walk(DWORD mode, const std::wstring &module)
{
    std::vector<expected_value> entries;
    EXPECT_EQ((DWORD)ERROR_SUCCESS, registry_table_visit(mode, module.c_str(), collect, &entries));
    return entries;
}

static std::wstring joined(const std::set<std::wstring> &items)
{
    std::wstring text;
    for (const std::wstring &item : items)
        text += item + L"\n";
    return text;
}

static std::wstring hive_name(HKEY hive)
{
    return hive == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\";
}

// Every name and string value of one key.
static std::map<std::wstring, std::wstring> values_of(HKEY root, const std::wstring &key)
{
    std::map<std::wstring, std::wstring> values;
    HKEY handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return values;
    for (DWORD i = 0;; i++) {
        wchar_t name[256], data[1024];
        DWORD name_size = ARRAYSIZE(name), data_size = sizeof(data) - sizeof(wchar_t), type = 0;
        if (RegEnumValueW(handle, i, name, &name_size, nullptr, &type, (BYTE *)data, &data_size) != ERROR_SUCCESS)
            break;
        data[data_size / sizeof(wchar_t)] = 0;
        values[name] = type == REG_SZ ? data : L"(not REG_SZ)";
    }
    RegCloseKey(handle);
    return values;
}

// How a leftover is reported: the key when the whole key is ours, the value
// when only the value is.
static std::wstring describe(const expected_value &entry)
{
    std::wstring where = hive_name(entry.root) + entry.key;
    return entry.key_is_ours ? where : where + L" : " + entry.name;
}

static bool present(const expected_value &entry)
{
    return entry.key_is_ours ? reg_key_exists(entry.root, entry.key)
                             : reg_read_string(entry.root, entry.key, entry.name.c_str(), nullptr);
}

// What of the table's entries is present, in both hives, removal-only
// entries and the legacy name included.
static std::wstring leftovers()
{
    std::set<std::wstring> found;
    for (DWORD mode : {QV_REG_REMOVE, QV_REG_REMOVE | QV_REG_MACHINE, QV_REG_REMOVE | QV_REG_LEGACY,
                       QV_REG_REMOVE | QV_REG_LEGACY | QV_REG_MACHINE})
        for (const expected_value &entry : table_walk(mode, L""))
            if (present(entry))
                found.insert(describe(entry));
    return joined(found);
}

// Every test starts from and leaves a prefix without the product, its file
// or any of its registry entries.
class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(package_path().c_str())) << package_path();
        scrub();
        ASSERT_EQ(L"", leftovers());
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(install_dir().c_str()));
    }
    void TearDown() override
    {
        scrub();
        EXPECT_EQ(L"", leftovers());
        EXPECT_TRUE(installed_products().empty());
    }
    static void scrub()
    {
        CoFreeUnusedLibrariesEx(0, 0);
        for (const std::wstring &product : installed_products())
            msiexec(L"/x", product);
        DllUnregisterServer();
        remove_tree(install_dir());
    }
};

TEST_F(MsiPackage, IsAPerMachineX64Package)
{
    MSIHANDLE summary = 0;
    ASSERT_EQ((UINT)ERROR_SUCCESS, MsiGetSummaryInformationW(0, package_path().c_str(), 0, &summary));
    wchar_t text[64];
    DWORD size = ARRAYSIZE(text);
    UINT type = 0;
    ASSERT_EQ((UINT)ERROR_SUCCESS, MsiSummaryInfoGetPropertyW(summary, PID_TEMPLATE, &type, nullptr, nullptr, text, &size));
    MsiCloseHandle(summary);
    EXPECT_STREQ(L"x64;1033", text);
    EXPECT_EQ(L"1", package_property(L"ALLUSERS"));
    EXPECT_EQ(L"quorvane-shellex", package_property(L"ProductName"));
}

TEST_F(MsiPackage, InstallWritesExactlyTheRegistrationTable)
{
    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    EXPECT_EQ(1u, installed_products().size());
    // The module, byte for byte the built one.
    std::string installed = read_file(installed_module());
    ASSERT_FALSE(installed.empty()) << installed_module();
    EXPECT_TRUE(installed == read_file(test_dll_path()));

    // What DllRegisterServer of the installed file would write.
    std::vector<expected_value> expected = table_walk(QV_REG_MACHINE, installed_module());
    ASSERT_EQ(10u, expected.size());
    std::map<std::wstring, std::map<std::wstring, std::wstring>> expected_keys;
    for (const expected_value &entry : expected) {
        std::wstring data;
        DWORD type = 0;
        EXPECT_EQ(HKEY_LOCAL_MACHINE, entry.root);
        ASSERT_TRUE(reg_read_string(entry.root, entry.key, entry.name.c_str(), &data, &type))
            << entry.key << L" : " << entry.name;
        EXPECT_EQ(entry.data, data) << entry.key << L" : " << entry.name;
        EXPECT_EQ((DWORD)REG_SZ, type) << entry.key;
        if (entry.key_is_ours)
            expected_keys[entry.key][entry.name] = entry.data;
    }
    // Keys of our own hold nothing else; the CLSID key's default value points
    // at the installed file.
    for (const auto &key : expected_keys)
        EXPECT_TRUE(key.second == values_of(HKEY_LOCAL_MACHINE, key.first)) << key.first;
    std::wstring server;
    ASSERT_TRUE(reg_read_string(HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32", L"",
                                &server));
    EXPECT_EQ(installed_module(), server);

    // Nothing in the user hive, nothing under the legacy name.
    std::set<std::wstring> written;
    for (const expected_value &entry : expected)
        written.insert(describe(entry));
    EXPECT_EQ(joined(written), leftovers());
}

TEST_F(MsiPackage, InstalledClassLoadsThroughCom)
{
    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    IShellExtInit *init = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                     (void **)&init));
    ASSERT_NE(nullptr, init);
    EXPECT_NE(nullptr, GetModuleHandleW(installed_module().c_str()));
    IContextMenu *menu = nullptr;
    EXPECT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, (void **)&menu));
    ASSERT_NE(nullptr, menu);
    menu->Release();
    init->Release();
    // Let the module go so that uninstalling can delete it.
    CoFreeUnusedLibrariesEx(0, 0);
    EXPECT_EQ(nullptr, GetModuleHandleW(installed_module().c_str()));
}

TEST_F(MsiPackage, UninstallLeavesNothingAndKeepsOthers)
{
    // Another extension shares the handler parents and the approved list.
    const std::wstring other_handler = L"Software\\Classes\\Directory\\shellex\\ContextMenuHandlers\\other-ext";
    const std::wstring approved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    const wchar_t other_clsid[] = L"{00000000-1111-2222-3333-444444444444}";
    const std::wstring other_data = L"other";
    DWORD size = (DWORD)((other_data.size() + 1) * sizeof(wchar_t));
    ASSERT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, other_handler, L"", REG_SZ, other_data.c_str(), size));
    ASSERT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, approved, other_clsid, REG_SZ, other_data.c_str(), size));

    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(installed_module().c_str()));
    ASSERT_NE(L"", leftovers());

    EXPECT_EQ(0u, msiexec(L"/x", package_path()));
    EXPECT_TRUE(installed_products().empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(installed_module().c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(install_dir().c_str()));
    EXPECT_EQ(L"", leftovers());

    std::wstring kept;
    EXPECT_TRUE(reg_read_string(HKEY_LOCAL_MACHINE, other_handler, L"", &kept));
    EXPECT_EQ(other_data, kept);
    kept.clear();
    EXPECT_TRUE(reg_read_string(HKEY_LOCAL_MACHINE, approved, other_clsid, &kept));
    EXPECT_EQ(other_data, kept);
    reg_delete_tree(HKEY_LOCAL_MACHINE, other_handler);
    SHDeleteValueW(HKEY_LOCAL_MACHINE, approved.c_str(), other_clsid);
}
