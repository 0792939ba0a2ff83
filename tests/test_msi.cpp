// The installer packages under msiexec, for all users and for the current
// user: the files they install, the registry they write (compared with a
// fresh walk of the registration table), the installed class at work, the
// uninstall entry, upgrades, what uninstalling leaves behind, and both
// packages installed at once.  Also the shipped module: stripped, with its
// version.
#include <gtest/gtest.h>
#include <algorithm>
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
#include "menu/shell_open.h"
#include "module/registration.h"
#include "test_support.h"

#if !defined(QV_MSI_NAME) || !defined(QV_VERSION) || !defined(QV_LATER_VERSION) || !defined(QV_USER_MSI_NAME) || \
    !defined(QV_SETTINGS_PROGRAM) || !defined(QV_SETTINGS_SHORTCUT) || !defined(QV_FILE_VERSION)
#error QV_MSI_NAME and QV_USER_MSI_NAME name the package files, QV_VERSION their version, QV_LATER_VERSION that of the later test packages, QV_SETTINGS_PROGRAM the settings program they carry ("": none), QV_SETTINGS_SHORTCUT its shortcut and QV_FILE_VERSION the version of the files
#endif
#define WIDE_(text) L##text
#define WIDE(text) WIDE_(text)

// A file of the build folder, the parent of the test programs' folder.
static std::wstring build_file(const wchar_t *relative_path)
{
    std::wstring relative = test_bin_dir() + L"\\..\\" + relative_path;
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
    return n && n < MAX_PATH ? std::wstring(full, n) : relative;
}

// The package and the stripped module it carries, in the packing folder.
static std::wstring package_path()
{
    return build_file(L"msi\\" WIDE(QV_MSI_NAME));
}

static std::wstring user_package_path()
{
    return build_file(L"msi\\" WIDE(QV_USER_MSI_NAME));
}

static std::wstring shipped_module()
{
    return build_file(L"msi\\quorvane-shellex.dll");
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

static std::wstring folder_path(int csidl)
{
    wchar_t path[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) ? path : L"";
}

// Where the package for the current user installs.
static std::wstring user_install_dir()
{
    return folder_path(CSIDL_LOCAL_APPDATA) + L"\\Programs\\quorvane-shellex";
}

static std::wstring user_module()
{
    return user_install_dir() + L"\\quorvane-shellex.dll";
}

// The per-user package's key under HKEY_CURRENT_USER whose values are its
// components' key paths.
static const wchar_t installed_key[] = L"Software\\Quorvane\\Installed\\quorvane-shellex (current user)";

static bool exists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The settings program's shortcut in the Start menu, or "" when there is
// none.  The package for the current user puts it into the user's Start
// menu; the package for all users into the Start menu of all users on
// Windows, but into the user's under Wine.
static std::wstring settings_shortcut(bool per_user)
{
    for (int csidl : {per_user ? CSIDL_PROGRAMS : CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS}) {
        std::wstring shortcut = folder_path(csidl) + L"\\" WIDE(QV_SETTINGS_SHORTCUT) L".lnk";
        if (exists(shortcut))
            return shortcut;
    }
    return L"";
}

static DWORD msiexec(const wchar_t *action, const std::wstring &target)
{
    return run_process(std::wstring(L"msiexec.exe ") + action + L" \"" + target + L"\" /qn", 120000);
}

// The rows a query of the package's database gives, their fields joined by
// " | ".
static std::vector<std::wstring> package_rows(const std::wstring &query, const std::wstring &package = package_path())
{
    std::vector<std::wstring> rows;
    MSIHANDLE db = 0, view = 0, record = 0;
    if (MsiOpenDatabaseW(package.c_str(), MSIDBOPEN_READONLY, &db) != ERROR_SUCCESS)
        return rows;
    if (MsiDatabaseOpenViewW(db, query.c_str(), &view) == ERROR_SUCCESS && MsiViewExecute(view, 0) == ERROR_SUCCESS) {
        while (MsiViewFetch(view, &record) == ERROR_SUCCESS) {
            std::wstring row;
            for (UINT field = 1; field <= MsiRecordGetFieldCount(record); field++) {
                wchar_t buffer[256];
                DWORD size = ARRAYSIZE(buffer);
                if (MsiRecordGetStringW(record, field, buffer, &size) == ERROR_SUCCESS)
                    row += (field > 1 ? L" | " : L"") + std::wstring(buffer);
            }
            rows.push_back(row);
            MsiCloseHandle(record);
        }
    }
    if (view)
        MsiCloseHandle(view);
    MsiCloseHandle(db);
    return rows;
}

static std::wstring package_property(const wchar_t *name, const std::wstring &package = package_path())
{
    std::vector<std::wstring> rows =
        package_rows(std::wstring(L"SELECT `Value` FROM `Property` WHERE `Property` = '") + name + L"'", package);
    return rows.empty() ? L"" : rows[0];
}

// Product codes of every installed version of the package (one upgrade code
// for all of them; each build gets a new product code).
static std::vector<std::wstring> installed_products(const std::wstring &package = package_path())
{
    std::vector<std::wstring> products;
    std::wstring upgrade = package_property(L"UpgradeCode", package);
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

// The table's entries a package writes: all of the machine-wide walk, or
// the user hive's of the user-hive walk.
static std::vector<expected_value> package_entries(bool per_user, const std::wstring &module)
{
    std::vector<expected_value> entries;
    for (const expected_value &entry : table_walk(per_user ? 0 : QV_REG_MACHINE, module))
        if (!per_user || entry.root == HKEY_CURRENT_USER)
            entries.push_back(entry);
    return entries;
}

// How leftovers() reports those entries.
static std::wstring described(const std::vector<expected_value> &entries)
{
    std::set<std::wstring> items;
    for (const expected_value &entry : entries)
        items.insert(describe(entry));
    return joined(items);
}

// The settings program `name` in `dir` and its shortcut in the Start menu;
// or neither.
static void expect_settings_program(const std::wstring &dir, const std::wstring &name, bool per_user, bool installed)
{
    EXPECT_EQ(installed, exists(dir + L"\\" + name)) << dir << L"\\" << name;
    EXPECT_EQ(installed, !settings_shortcut(per_user).empty());
}

// Every test starts from and leaves a prefix without either product, their
// files or any of their registry entries.
class MsiPackage : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(exists(package_path())) << package_path();
        ASSERT_TRUE(exists(user_package_path())) << user_package_path();
        scrub();
        ASSERT_EQ(L"", leftovers());
        ASSERT_FALSE(exists(install_dir()));
        ASSERT_FALSE(exists(user_install_dir()));
    }
    void TearDown() override
    {
        scrub();
        EXPECT_EQ(L"", leftovers());
        EXPECT_TRUE(installed_products().empty());
        EXPECT_TRUE(installed_products(user_package_path()).empty());
    }
    static void scrub()
    {
        CoFreeUnusedLibrariesEx(0, 0);
        for (const std::wstring &package : {package_path(), user_package_path()})
            for (const std::wstring &product : installed_products(package))
                msiexec(L"/x", product);
        DllUnregisterServer();
        remove_tree(install_dir());
        remove_tree(user_install_dir());
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
    EXPECT_EQ(WIDE(QV_VERSION), package_property(L"ProductVersion"));
}

// Bit 3 of the word count (8): no elevation needed.  Set in the package for
// the current user only; the one for all users must ask for it.
static INT word_count(const std::wstring &package)
{
    MSIHANDLE summary = 0;
    INT count = -1;
    UINT type = 0;
    if (MsiGetSummaryInformationW(0, package.c_str(), 0, &summary) != ERROR_SUCCESS)
        return -1;
    if (MsiSummaryInfoGetPropertyW(summary, PID_WORDCOUNT, &type, &count, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        count = -1;
    MsiCloseHandle(summary);
    return count;
}

// Both packages: the files' version in the File table (the module's own),
// the product's icon in Apps & features and on the shortcut, no Restart
// Manager to close Explorer, and the elevation bit as each needs it.
TEST(MsiPackages, CarryVersionsIconAndElevationBit)
{
    DWORD size = GetFileVersionInfoSizeW(shipped_module().c_str(), nullptr);
    std::vector<BYTE> info(size ? size : 1);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(GetFileVersionInfoW(shipped_module().c_str(), 0, size, info.data()) &&
                VerQueryValueW(info.data(), L"\\", (void **)&fixed, &length) && fixed);
    wchar_t module_version[64];
    swprintf(module_version, ARRAYSIZE(module_version), L"%u.%u.%u.%u", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(WIDE(QV_FILE_VERSION), std::wstring(module_version));

    for (bool per_user : {false, true}) {
        const std::wstring package = per_user ? user_package_path() : package_path();
        SCOPED_TRACE(package);
        EXPECT_EQ(per_user ? 8 : 0, word_count(package) & 8);
        std::vector<std::wstring> versions = package_rows(L"SELECT `FileName`, `Version` FROM `File`", package);
        EXPECT_EQ(*QV_SETTINGS_PROGRAM ? 2u : 1u, versions.size());
        for (const std::wstring &row : versions)
            EXPECT_EQ(row.size() - wcslen(WIDE(QV_FILE_VERSION)), row.rfind(WIDE(QV_FILE_VERSION))) << row;
        EXPECT_TRUE(package_rows(L"SELECT `File_` FROM `MsiFileHash`", package).empty());
        const std::wstring icon = package_property(L"ARPPRODUCTICON", package);
        EXPECT_EQ(std::vector<std::wstring>{icon}, package_rows(L"SELECT `Name` FROM `Icon`", package));
        if (*QV_SETTINGS_PROGRAM) {
            EXPECT_EQ(std::vector<std::wstring>{icon}, package_rows(L"SELECT `Icon_` FROM `Shortcut`", package));
        }
        EXPECT_EQ(L"Disable", package_property(L"MSIRESTARTMANAGERCONTROL", package));
    }
}

// Validation rules that packaging teams run before they deploy anything,
// checked on the package's tables:
// ICE38: a component installed in the user's profile has a registry value
//   under HKEY_CURRENT_USER (Root 1) of its own as its key path.
// ICE43: so has a component with a shortcut that is not advertised (its
//   target is a file, not a feature).
// ICE64: every folder the package makes in the user's profile is removed on
//   uninstall (a RemoveFile row with no file name for its folder).
// The profile: the folders below the user's profile folders.
static std::wstring ice_problems(const std::wstring &package)
{
    static const std::set<std::wstring> profile_folders = {
        L"AppDataFolder", L"DesktopFolder", L"FavoritesFolder", L"LocalAppDataFolder", L"NetHoodFolder",
        L"PersonalFolder", L"PrintHoodFolder", L"ProgramMenuFolder", L"RecentFolder", L"SendToFolder",
        L"StartMenuFolder", L"StartupFolder", L"TemplateFolder", L"MyPicturesFolder"};
    // Each folder's parent; a field missing from a row leaves it out.
    std::map<std::wstring, std::wstring> parent;
    for (const std::wstring &row : package_rows(L"SELECT `Directory`, `Directory_Parent` FROM `Directory`", package)) {
        size_t bar = row.find(L" | ");
        parent[row.substr(0, bar)] = bar == std::wstring::npos ? L"" : row.substr(bar + 3);
    }
    auto in_profile = [&](std::wstring folder) {
        for (int depth = 0; !folder.empty() && depth < 32; folder = parent[folder], depth++)
            if (profile_folders.count(folder))
                return true;
        return false;
    };
    // Component -> "attributes | key path"; registry row -> "root | component".
    std::map<std::wstring, std::wstring> registry;
    for (const std::wstring &row : package_rows(L"SELECT `Registry`, `Root`, `Component_` FROM `Registry`", package))
        registry[row.substr(0, row.find(L" | "))] = row.substr(row.find(L" | ") + 3);
    auto keyed_by_user_value = [&](const std::wstring &component) {
        std::vector<std::wstring> rows = package_rows(
            L"SELECT `Attributes`, `KeyPath` FROM `Component` WHERE `Component` = '" + component + L"'", package);
        if (rows.size() != 1)
            return false;
        size_t bar = rows[0].find(L" | ");
        if (bar == std::wstring::npos || !(_wtoi(rows[0].c_str()) & msidbComponentAttributesRegistryKeyPath))
            return false;
        return registry[rows[0].substr(bar + 3)] == L"1 | " + component;
    };
    std::set<std::wstring> removed;
    for (const std::wstring &row : package_rows(L"SELECT `DirProperty` FROM `RemoveFile` WHERE `FileName` = ''", package))
        removed.insert(row);

    std::wstring problems;
    for (const std::wstring &row : package_rows(L"SELECT `Component`, `Directory_` FROM `Component`", package)) {
        std::wstring component = row.substr(0, row.find(L" | ")), folder = row.substr(row.find(L" | ") + 3);
        if (in_profile(folder) && !keyed_by_user_value(component))
            problems += L"ICE38: " + component + L" installs into the profile without a HKCU key path\n";
    }
    for (const std::wstring &row : package_rows(L"SELECT `Component_`, `Target` FROM `Shortcut`", package)) {
        std::wstring component = row.substr(0, row.find(L" | ")), target = row.substr(row.find(L" | ") + 3);
        if (target.compare(0, 1, L"[") == 0 && !keyed_by_user_value(component))
            problems += L"ICE43: " + component + L" has a shortcut without a HKCU key path\n";
    }
    for (const auto &folder : parent)
        if (!profile_folders.count(folder.first) && in_profile(folder.first) && !removed.count(folder.first))
            problems += L"ICE64: " + folder.first + L" is not removed on uninstall\n";
    return problems;
}

TEST(MsiPackages, PassTheProfileValidationRules)
{
    EXPECT_EQ(L"", ice_problems(package_path()));
    EXPECT_EQ(L"", ice_problems(user_package_path()));
    // The rules see the per-user package's components: all in the profile.
    EXPECT_GE(package_rows(L"SELECT `Component` FROM `Component`", user_package_path()).size(), 2u);
}

// What Explorer shows under Properties > Details, read from the module the
// package ships.
static std::wstring version_string(const std::vector<BYTE> &info, const wchar_t *name)
{
    wchar_t *value = nullptr;
    UINT length = 0;
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(info.data(), path.c_str(), (void **)&value, &length) || !value)
        return L"(missing)";
    return std::wstring(value, wcsnlen(value, length));
}

TEST(ShippedModule, IsStrippedAndCarriesItsVersion)
{
    std::string module = read_file(shipped_module());
    ASSERT_FALSE(module.empty()) << shipped_module();
    EXPECT_LE(module.size(), 150u * 1024);
    EXPECT_LT(module.size(), read_file(test_dll_path()).size());

    DWORD size = GetFileVersionInfoSizeW(shipped_module().c_str(), nullptr);
    ASSERT_NE(0u, size);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(shipped_module().c_str(), 0, size, info.data()));
    EXPECT_EQ(WIDE(QV_VERSION), version_string(info, L"FileVersion"));
    EXPECT_EQ(WIDE(QV_VERSION), version_string(info, L"ProductVersion"));
    EXPECT_EQ(L"quorvane-shellex", version_string(info, L"ProductName"));
    EXPECT_EQ(L"Quorvane", version_string(info, L"CompanyName"));
    EXPECT_EQ(L"quorvane-shellex.dll", version_string(info, L"OriginalFilename"));
    EXPECT_NE(std::wstring::npos, version_string(info, L"FileDescription").find(L"Explorer"));
    EXPECT_EQ(0u, version_string(info, L"LegalCopyright").find(L"Copyright"));

    // The numeric version, which installers compare: 3.0.N.0.
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", (void **)&fixed, &length));
    ASSERT_NE(nullptr, fixed);
    wchar_t numeric[64];
    swprintf(numeric, ARRAYSIZE(numeric), L"%u.%u.%u", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(WIDE(QV_VERSION), std::wstring(numeric));
    EXPECT_EQ(0u, LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ((DWORD)VFT_DLL, fixed->dwFileType);
}

TEST_F(MsiPackage, InstallWritesExactlyTheRegistrationTable)
{
    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    EXPECT_EQ(1u, installed_products().size());
    // The module, byte for byte the shipped one.
    std::string installed = read_file(installed_module());
    ASSERT_FALSE(installed.empty()) << installed_module();
    EXPECT_TRUE(installed == read_file(shipped_module()));
    if (*QV_SETTINGS_PROGRAM)
        expect_settings_program(install_dir(), WIDE(QV_SETTINGS_PROGRAM), false, true);

    // What DllRegisterServer of the installed file would write.
    std::vector<expected_value> expected = table_walk(QV_REG_MACHINE, installed_module());
    ASSERT_EQ(11u, expected.size());
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

static std::wstring uninstall_entry(const std::wstring &product, const wchar_t *name)
{
    std::wstring value;
    reg_read_string(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product, name, &value);
    return value;
}

TEST_F(MsiPackage, EveryBuildUpgradesInPlaceAndNoneGoesBack)
{
    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    std::vector<std::wstring> first = installed_products();
    ASSERT_EQ(1u, first.size());
    const std::wstring installed_entries = leftovers();

    // The entry of Apps & features: the version, links to the home page, no
    // Modify button.
    EXPECT_EQ(WIDE(QV_VERSION), uninstall_entry(first[0], L"DisplayVersion"));
    EXPECT_EQ(QV_HOME_PAGE, uninstall_entry(first[0], L"HelpLink"));
    EXPECT_EQ(QV_HOME_PAGE, uninstall_entry(first[0], L"URLInfoAbout"));
    DWORD no_modify = 0, size = sizeof(no_modify);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueW(HKEY_LOCAL_MACHINE,
                                          (L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + first[0]).c_str(),
                                          L"NoModify", RRF_RT_REG_DWORD, nullptr, &no_modify, &size));
    EXPECT_EQ(1u, no_modify);

    // A rebuild of the same version (a new product code) replaces it.
    ASSERT_EQ(0u, msiexec(L"/i", build_file(L"test-packages\\rebuilt.msi")));
    std::vector<std::wstring> rebuilt = installed_products();
    ASSERT_EQ(1u, rebuilt.size());
    EXPECT_NE(first[0], rebuilt[0]);
    EXPECT_EQ(installed_entries, leftovers());
    EXPECT_TRUE(read_file(installed_module()) == read_file(shipped_module()));

    // So does a later version; going back from it is refused, and the later
    // version stays.  (Windows shows the launch condition's message; Wine's
    // installer shows it only with a user interface.)
    ASSERT_EQ(0u, msiexec(L"/i", build_file(L"test-packages\\later.msi")));
    std::vector<std::wstring> later = installed_products();
    ASSERT_EQ(1u, later.size());
    EXPECT_EQ(WIDE(QV_LATER_VERSION), uninstall_entry(later[0], L"DisplayVersion"));
    expect_settings_program(install_dir(), L"qv-settings.exe", false, true);
    EXPECT_EQ((DWORD)ERROR_INSTALL_FAILURE, msiexec(L"/i", package_path()));
    std::vector<std::wstring> conditions = package_rows(L"SELECT `Condition`, `Description` FROM `LaunchCondition`");
    ASSERT_EQ(1u, conditions.size());
    EXPECT_EQ(L"NOT WIX_DOWNGRADE_DETECTED | A newer version of quorvane-shellex is already installed.", conditions[0]);
    EXPECT_TRUE(later == installed_products());
    EXPECT_EQ(installed_entries, leftovers());

    // Uninstalling the one entry removes everything.
    EXPECT_EQ(0u, msiexec(L"/x", later[0]));
    EXPECT_TRUE(installed_products().empty());
    EXPECT_EQ(L"", leftovers());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(install_dir().c_str()));
    expect_settings_program(install_dir(), L"qv-settings.exe", false, false);
}

// ---- the package for the current user ----

TEST_F(MsiPackage, UserPackageNeedsNoElevationAndNoMachineKeys)
{
    // Without ALLUSERS Windows installs for the current user; bit 3 of the
    // word count (8) tells it that no elevation is needed.
    MSIHANDLE summary = 0;
    ASSERT_EQ((UINT)ERROR_SUCCESS, MsiGetSummaryInformationW(0, user_package_path().c_str(), 0, &summary));
    INT word_count = 0;
    wchar_t text[64];
    DWORD size = ARRAYSIZE(text);
    UINT type = 0;
    EXPECT_EQ((UINT)ERROR_SUCCESS, MsiSummaryInfoGetPropertyW(summary, PID_WORDCOUNT, &type, &word_count, nullptr, nullptr, nullptr));
    EXPECT_EQ((UINT)ERROR_SUCCESS, MsiSummaryInfoGetPropertyW(summary, PID_TEMPLATE, &type, nullptr, nullptr, text, &size));
    MsiCloseHandle(summary);
    EXPECT_EQ(8, word_count & 8);
    EXPECT_STREQ(L"x64;1033", text);
    EXPECT_EQ(L"", package_property(L"ALLUSERS", user_package_path()));
    EXPECT_EQ(WIDE(QV_VERSION), package_property(L"ProductVersion", user_package_path()));
    EXPECT_NE(package_property(L"UpgradeCode"), package_property(L"UpgradeCode", user_package_path()));
    // Every registry row in the user hive (root 1): one per user-hive entry,
    // and the components' key paths.
    std::vector<std::wstring> roots = package_rows(L"SELECT `Root` FROM `Registry` WHERE `Key` <> '" +
                                                       std::wstring(installed_key) + L"'",
                                                   user_package_path());
    EXPECT_EQ(std::vector<std::wstring>(package_entries(true, L"").size(), L"1"), roots);
    EXPECT_EQ(std::vector<std::wstring>{}, package_rows(L"SELECT `Root` FROM `Registry` WHERE `Root` <> 1", user_package_path()));
}

// Loads the module at `path` as COM loads an in-process server, has its
// class factory create the extension and the extension list a folder of two
// files for a menu; then lets the module go (once its objects and listing
// workers are gone), so that an uninstall can delete it.
static void expect_module_works(const std::wstring &path)
{
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, module) << path;
    auto get_class_object = (HRESULT(WINAPI *)(REFCLSID, REFIID, void **))(void *)GetProcAddress(module, "DllGetClassObject");
    auto can_unload = (HRESULT(WINAPI *)())(void *)GetProcAddress(module, "DllCanUnloadNow");
    ASSERT_TRUE(get_class_object && can_unload);
    IClassFactory *factory = nullptr;
    IContextMenu *menu = nullptr;
    ASSERT_EQ(S_OK, get_class_object(CLSID_QuorvaneShellex, IID_IClassFactory, (void **)&factory));
    EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, (void **)&menu));
    factory->Release();
    if (menu) {
        temp_dir folder;
        write_file(folder / L"a.txt");
        write_file(folder / L"b.txt");
        IDataObject *data = shell_data_object({folder.path()});
        IShellExtInit *init = nullptr;
        EXPECT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, (void **)&init));
        EXPECT_EQ(S_OK, init->Initialize(nullptr, data, nullptr));
        HMENU popup = CreatePopupMenu();
        HRESULT hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
        EXPECT_TRUE(SUCCEEDED(hr) && HRESULT_CODE(hr) > 2) << hr;  // identifiers for both files at least
        DestroyMenu(popup);
        init->Release();
        data->Release();
        menu->Release();
    }
    for (int i = 0; i < 100 && can_unload() != S_OK; i++)
        Sleep(50);
    EXPECT_EQ(S_OK, can_unload());
    FreeLibrary(module);
    EXPECT_EQ(nullptr, GetModuleHandleW(path.c_str()));
}

TEST_F(MsiPackage, UserPackageInstallsForTheUserAndUninstallLeavesNothing)
{
    const std::wstring programs = folder_path(CSIDL_LOCAL_APPDATA) + L"\\Programs";
    const bool had_programs = exists(programs);
    const std::vector<std::wstring> classes = reg_snapshot(HKEY_CURRENT_USER, L"Software\\Classes");
    ASSERT_EQ(0u, msiexec(L"/i", user_package_path()));
    EXPECT_EQ(1u, installed_products(user_package_path()).size());
    EXPECT_TRUE(read_file(user_module()) == read_file(shipped_module())) << user_module();
    if (*QV_SETTINGS_PROGRAM)
        expect_settings_program(user_install_dir(), WIDE(QV_SETTINGS_PROGRAM), true, true);

    // The user hive's entries, naming the installed file; nothing machine-wide.
    std::vector<expected_value> expected = package_entries(true, user_module());
    for (const expected_value &entry : expected) {
        std::wstring data;
        DWORD type = 0;
        EXPECT_TRUE(reg_read_string(entry.root, entry.key, entry.name.c_str(), &data, &type)) << entry.key;
        EXPECT_EQ(entry.data, data) << entry.key << L" : " << entry.name;
        EXPECT_EQ((DWORD)REG_SZ, type) << entry.key;
    }
    EXPECT_EQ(described(expected), leftovers());
    EXPECT_TRUE(reg_key_exists(HKEY_CURRENT_USER, installed_key));

    // Wine's COM reads classes from HKLM only: the module is loaded from the
    // path the user's registration names.
    std::wstring server;
    EXPECT_TRUE(reg_read_string(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" QV_CLSID_STRING L"\\InprocServer32", L"",
                                &server));
    EXPECT_EQ(user_module(), server);
    expect_module_works(server);

    EXPECT_EQ(0u, msiexec(L"/x", user_package_path()));
    EXPECT_TRUE(installed_products(user_package_path()).empty());
    std::vector<std::wstring> after = reg_snapshot(HKEY_CURRENT_USER, L"Software\\Classes");
    std::wstring changed;
    for (const std::wstring &line : after)
        if (std::find(classes.begin(), classes.end(), line) == classes.end())
            changed += L"+ " + line + L"\n";
    // Nothing of the user's goes; Wine's installer may tidy away empty keys
    // that an earlier registration left behind, which holds nothing.
    for (const std::wstring &line : classes)
        if (line.find(L'|') != std::wstring::npos && std::find(after.begin(), after.end(), line) == after.end())
            changed += L"- " + line + L"\n";
    EXPECT_EQ(L"", changed) << "+ left behind, - taken away";
    EXPECT_EQ(L"", leftovers());
    EXPECT_EQ(std::vector<std::wstring>{}, reg_snapshot(HKEY_CURRENT_USER, installed_key));
    EXPECT_FALSE(exists(user_install_dir()));
    EXPECT_EQ(had_programs, exists(programs));
    EXPECT_EQ(L"", settings_shortcut(true));
}

static std::wstring product_version(const std::wstring &product)
{
    wchar_t version[64];
    DWORD size = ARRAYSIZE(version);
    return MsiGetProductInfoW(product.c_str(), INSTALLPROPERTY_VERSIONSTRING, version, &size) == ERROR_SUCCESS ? version : L"";
}

TEST_F(MsiPackage, UserPackageUpgradesInPlaceAndNoneGoesBack)
{
    ASSERT_EQ(0u, msiexec(L"/i", user_package_path()));
    std::vector<std::wstring> first = installed_products(user_package_path());
    ASSERT_EQ(1u, first.size());
    const std::wstring entries = leftovers();

    ASSERT_EQ(0u, msiexec(L"/i", build_file(L"test-packages\\rebuilt-user.msi")));
    std::vector<std::wstring> rebuilt = installed_products(user_package_path());
    ASSERT_EQ(1u, rebuilt.size());
    EXPECT_NE(first[0], rebuilt[0]);
    EXPECT_EQ(entries, leftovers());

    ASSERT_EQ(0u, msiexec(L"/i", build_file(L"test-packages\\later-user.msi")));
    std::vector<std::wstring> later = installed_products(user_package_path());
    ASSERT_EQ(1u, later.size());
    EXPECT_EQ(WIDE(QV_LATER_VERSION), product_version(later[0]));
    expect_settings_program(user_install_dir(), L"qv-settings.exe", true, true);
    EXPECT_EQ((DWORD)ERROR_INSTALL_FAILURE, msiexec(L"/i", user_package_path()));
    EXPECT_TRUE(later == installed_products(user_package_path()));
    EXPECT_EQ(entries, leftovers());

    EXPECT_EQ(0u, msiexec(L"/x", later[0]));
    EXPECT_TRUE(installed_products(user_package_path()).empty());
    EXPECT_EQ(L"", leftovers());
    EXPECT_FALSE(exists(user_install_dir()));
    expect_settings_program(user_install_dir(), L"qv-settings.exe", true, false);
}

// ---- both packages for one user ----

// A default value of HKEY_CLASSES_ROOT as Windows merges it: a key under
// HKCU\Software\Classes hides the key of the same path under
// HKLM\Software\Classes.  (Wine's HKEY_CLASSES_ROOT is the machine's alone,
// so the merge is made here.)
static std::wstring merged_class_value(const std::wstring &key)
{
    std::wstring path = L"Software\\Classes\\" + key, value;
    reg_read_string(reg_key_exists(HKEY_CURRENT_USER, path) ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path, L"", &value);
    return value;
}

// The context-menu handlers of the merged view that create the extension:
// the subkeys of both hives, by name, whose merged value is its class.
static std::wstring merged_handlers()
{
    std::wstring text;
    for (const wchar_t *kind : {L"Directory", L"Drive", L"lnkfile"}) {
        const std::wstring handlers = std::wstring(kind) + L"\\shellex\\ContextMenuHandlers";
        const std::wstring key = L"Software\\Classes\\" + handlers, prefix = key + L"\\";
        std::set<std::wstring> names;  // the snapshot's lines of subkeys: "KEY\NAME"
        for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
            for (const std::wstring &line : reg_snapshot(hive, key))
                if (!line.compare(0, prefix.size(), prefix) && line.find_first_of(L"\\|", prefix.size()) == std::wstring::npos)
                    names.insert(line.substr(prefix.size()));
        for (const std::wstring &name : names)
            if (merged_class_value(handlers + L"\\" + name) == QV_CLSID_STRING)
                text += std::wstring(kind) + L": " + name + L"\n";
    }
    return text;
}

static std::wstring merged_server()
{
    return merged_class_value(L"CLSID\\" QV_CLSID_STRING L"\\InprocServer32");
}

TEST_F(MsiPackage, BothPackagesGiveOneHandlerAndEachWorksAlone)
{
    const std::wstring one_each = L"Directory: quorvane-shellex\nDrive: quorvane-shellex\nlnkfile: quorvane-shellex\n";
    const std::vector<expected_value> machine = package_entries(false, installed_module());
    const std::vector<expected_value> user = package_entries(true, user_module());
    std::vector<expected_value> both = machine;
    both.insert(both.end(), user.begin(), user.end());

    ASSERT_EQ(0u, msiexec(L"/i", package_path()));
    ASSERT_EQ(0u, msiexec(L"/i", user_package_path()));
    EXPECT_EQ(described(both), leftovers());
    // One handler per class, whose class is served by the user's module.
    EXPECT_EQ(one_each, merged_handlers());
    EXPECT_EQ(user_module(), merged_server());

    // Without the user's package: the machine's, complete and at work.
    ASSERT_EQ(0u, msiexec(L"/x", user_package_path()));
    EXPECT_EQ(described(machine), leftovers());
    EXPECT_EQ(one_each, merged_handlers());
    EXPECT_EQ(installed_module(), merged_server());
    IShellExtInit *init = nullptr;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_QuorvaneShellex, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, (void **)&init));
    EXPECT_NE(nullptr, GetModuleHandleW(installed_module().c_str()));
    if (init)
        init->Release();
    CoFreeUnusedLibrariesEx(0, 0);

    // Without the machine's package: the user's, complete and at work.
    ASSERT_EQ(0u, msiexec(L"/i", user_package_path()));
    ASSERT_EQ(0u, msiexec(L"/x", package_path()));
    EXPECT_EQ(described(user), leftovers());
    EXPECT_EQ(one_each, merged_handlers());
    EXPECT_EQ(user_module(), merged_server());
    expect_module_works(user_module());
}
