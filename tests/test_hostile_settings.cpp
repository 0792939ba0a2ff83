// Settings of every registry value type and of many sizes under each setting
// name, and a settings key the user may not read: only a 4-byte REG_DWORD is
// taken, nothing is written past the record, and right-clicks go on working.
#include <gtest/gtest.h>
#include <algorithm>
#include <windows.h>
#include <sddl.h>
#include <string.h>
#include <string>
#include <vector>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "common/qv_config.h"
#include "extension/qv_shellex.h"
#include "setting_names.h"
#include "test_support.h"

namespace {

const DWORD value_types[] = {
    REG_NONE,          REG_SZ,   REG_EXPAND_SZ, REG_BINARY,          REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_LINK,
    REG_MULTI_SZ,      REG_RESOURCE_LIST, REG_QWORD, 0x4D2 /* no such type */,
};
const DWORD data_sizes[] = {0, 1, 2, 3, 4, 5, 8, 65536};

const BYTE guard_byte = 0xA5;

// The record with guard bytes on both sides.
struct guarded_config {
    BYTE before[64];
    qv_config config;
    BYTE after[64];
};

bool guards_intact(const guarded_config &g)
{
    for (size_t i = 0; i < sizeof(g.before); i++)
        if (g.before[i] != guard_byte || g.after[i] != guard_byte)
            return false;
    return true;
}

std::vector<DWORD> fields(const qv_config &config)
{
    const DWORD *first = &config.OnlyAllowedOnDesktop;
    return std::vector<DWORD>(first, first + setting_count);
}

// Loads into a guarded record whose fields start as garbage.
std::vector<DWORD> guarded_load(bool *intact)
{
    guarded_config g;
    memset(&g, guard_byte, sizeof(g));
    g.config.load();
    *intact = guards_intact(g);
    return fields(g.config);
}

// Data whose first four bytes read as 0x44332211, then a byte pattern.
std::vector<BYTE> pattern(DWORD size)
{
    std::vector<BYTE> data(size);
    for (DWORD i = 0; i < size; i++)
        data[i] = (BYTE)(0x11 * (i % 4 + 1) + i / 4);
    return data;
}

void set_raw(const wchar_t *name, DWORD type, const std::vector<BYTE> &data, HKEY root = HKEY_LOCAL_MACHINE)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, settings_key, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, name, 0, type, data.empty() ? NULL : data.data(), (DWORD)data.size()))
        << type << " " << data.size();
    RegCloseKey(key);
}

// The query the loader makes, into a 4-byte window with guard bytes around
// it: returns whether anything beyond the window changed.
bool query_stays_in_four_bytes(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, QV_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    BYTE buffer[4 + 64 + 64];
    memset(buffer, guard_byte, sizeof(buffer));
    DWORD type = 0, size = 4;
    RegQueryValueExA(key, name, NULL, &type, buffer + 64, &size);
    RegCloseKey(key);
    for (size_t i = 0; i < sizeof(buffer); i++)
        if ((i < 64 || i >= 68) && buffer[i] != guard_byte)
            return false;
    return true;
}

std::string ansi(const wchar_t *name)
{
    return std::string(name, name + wcslen(name));
}

// A folder with five files and the outcome of right-clicking it with
// whatever settings the registry now holds.
class right_click_folder {
public:
    right_click_folder()
    {
        for (int i = 0; i < 5; i++)
            write_file(folder / (L"file" + std::to_wstring(i) + L".txt"));
    }
    // Reserved identifiers; `config` receives the settings the object used.
    UINT run(std::vector<DWORD> *config, bool *neighbours_intact)
    {
        qv_shellex *ext = qv_shellex::create();
        IDataObject *data = shell_data_object({folder.path()});
        EXPECT_NE(nullptr, data);
        if (!data) {
            ext->Release();
            return 0;
        }
        EXPECT_EQ(S_OK, ext->Initialize(NULL, data, NULL));
        data->Release();
        *config = fields(ext->config);
        // The fields on both sides of the settings are the path and the list.
        *neighbours_intact = _wcsicmp(folder.path().c_str(), ext->path) == 0 && ext->list.entry_count == 0 &&
                             ext->list.pool == nullptr && ext->list.entries == nullptr;
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"Open");
        HRESULT hr = ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
        EXPECT_TRUE(SUCCEEDED(hr));
        UINT reserved = HRESULT_CODE(hr);
        EXPECT_EQ(reserved ? 2 : 0, menu_hook_count());
        thread_menus_drop_thread();
        DestroyMenu(menu);
        ext->Release();
        return reserved;
    }

private:
    temp_dir folder;
};

// Makes the settings key unreadable for everyone while it lives: its DACL
// denies KEY_QUERY_VALUE to Everyone.  The owner may still rewrite the DACL,
// which is how the key is given back.
class denied_key {
public:
    explicit denied_key(HKEY root = HKEY_LOCAL_MACHINE) : root(root)
    {
        PSECURITY_DESCRIPTOR deny = NULL;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;0x1;;;WD)(A;;KA;;;WD)",
                                                                         SDDL_REVISION_1, &deny, NULL));
        HKEY key;
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(root, settings_key, 0, WRITE_DAC, &key));
        EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, deny));
        RegCloseKey(key);
        LocalFree(deny);
    }
    ~denied_key()
    {
        SECURITY_DESCRIPTOR open;
        InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&open, TRUE, NULL, FALSE);  // no DACL: full access
        HKEY key;
        if (RegOpenKeyExW(root, settings_key, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
            RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &open);
            RegCloseKey(key);
        }
    }

private:
    HKEY root;
};

// Its index in value_names; the loader holds it to 5,000 ms.
const int listing_time_limit = 7;

} // namespace

TEST(HostileSettings, OnlyAFourByteDwordIsTakenUnderEveryName)
{
    settings_scope scope;
    for (int i = 0; i < setting_count; i++) {
        // The other names hold good values, so a leak between names shows,
        // and so does a name that stops the reading of the next ones.
        std::vector<DWORD> others(setting_count);
        for (int j = 0; j < setting_count; j++) {
            others[j] = 0x5A000000u + 0x100 * i + j;
            if (j != i)
                scope.set(value_names[j], others[j]);
        }
        for (DWORD type : value_types) {
            for (DWORD size : data_sizes) {
                set_raw(value_names[i], type, pattern(size));
                std::string what = ansi(value_names[i]) + " type " + std::to_string(type) + " size " +
                                   std::to_string(size);
                std::vector<DWORD> expected = others;
                expected[i] = type == REG_DWORD && size == 4 ? 0x44332211u : defaults[i];
                expected = held(expected);
                bool intact = false;
                EXPECT_EQ(expected, guarded_load(&intact)) << what;
                EXPECT_TRUE(intact) << what;
                EXPECT_TRUE(query_stays_in_four_bytes(ansi(value_names[i]).c_str())) << what;
            }
        }
    }
}

TEST(HostileSettings, EveryNameHostileAtOnce)
{
    settings_scope scope;
    right_click_folder folder;
    for (DWORD type : value_types) {
        for (DWORD size : data_sizes) {
            if (type == REG_DWORD && size == 4)
                continue;
            for (const wchar_t *name : value_names)
                set_raw(name, type, pattern(size));
            std::string what = "type " + std::to_string(type) + " size " + std::to_string(size);
            bool intact = false;
            EXPECT_EQ(defaults, guarded_load(&intact)) << what;
            EXPECT_TRUE(intact) << what;
        }
    }

    // A right-click with the last of them in place uses the defaults.
    std::vector<DWORD> used;
    bool neighbours_intact = false;
    EXPECT_EQ(5u + 10u, folder.run(&used, &neighbours_intact));
    EXPECT_EQ(defaults, used);
    EXPECT_TRUE(neighbours_intact);

    // So does one with huge values of each kind in turn.
    for (DWORD type : value_types) {
        for (const wchar_t *name : value_names)
            set_raw(name, type, pattern(type == REG_DWORD ? 65536 : 4));
        EXPECT_EQ(5u + 10u, folder.run(&used, &neighbours_intact)) << type;
        EXPECT_EQ(defaults, used) << type;
        EXPECT_TRUE(neighbours_intact) << type;
    }
}

TEST(HostileSettings, UnreadableKeyGivesTheDefaults)
{
    settings_scope scope;
    right_click_folder folder;
    scope.set(L"MaxMenuItems", 1);
    scope.set(L"HideFileExtension", 0);
    scope.set(L"HideItemLogo", 1);
    bool intact = false;
    ASSERT_EQ((std::vector<DWORD>{0, 1, 0, 0, 1, 0, 0, 300, 0, 0}), guarded_load(&intact));

    std::vector<DWORD> used;
    bool neighbours_intact = false;
    {
        denied_key denied;
        // The registry does refuse the loader's request.
        HKEY key;
        ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, QV_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key));
        EXPECT_EQ(defaults, guarded_load(&intact));
        EXPECT_TRUE(intact);
        // MaxMenuItems 1 would list two files and the "." entry.
        EXPECT_EQ(5u + 10u, folder.run(&used, &neighbours_intact));
        EXPECT_EQ(defaults, used);
        EXPECT_TRUE(neighbours_intact);
    }
    // Readable again, the values count again.
    EXPECT_EQ((std::vector<DWORD>{0, 1, 0, 0, 1, 0, 0, 300, 0, 0}), guarded_load(&intact));
    EXPECT_EQ(3u + 10u, folder.run(&used, &neighbours_intact));
    EXPECT_EQ(1u, used[1]);
}

TEST(HostileSettings, UserValuesOfOtherKindsLeaveTheMachineValues)
{
    settings_scope scope;
    std::vector<DWORD> machine(setting_count);
    for (int i = 0; i < setting_count; i++) {
        machine[i] = i == listing_time_limit ? 4000u + i : 0x6B000000u + i;
        scope.set(value_names[i], machine[i]);
    }
    for (DWORD type : value_types) {
        for (DWORD size : data_sizes) {
            for (const wchar_t *name : value_names)
                set_raw(name, type, pattern(size), HKEY_CURRENT_USER);
            std::string what = "type " + std::to_string(type) + " size " + std::to_string(size);
            bool intact = false;
            std::vector<DWORD> expected = machine;
            if (type == REG_DWORD && size == 4)
                expected.assign(setting_count, 0x44332211u);
            EXPECT_EQ(held(expected), guarded_load(&intact)) << what;
            EXPECT_TRUE(intact) << what;
        }
    }

    // A user key that cannot be read leaves the machine's values.
    for (const wchar_t *name : value_names)
        set_raw(name, REG_DWORD, pattern(4), HKEY_CURRENT_USER);
    bool intact = false;
    {
        denied_key denied(HKEY_CURRENT_USER);
        HKEY key;
        ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_CURRENT_USER, QV_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key));
        EXPECT_EQ(held(machine), guarded_load(&intact));
        EXPECT_TRUE(intact);
    }
    EXPECT_EQ(held(std::vector<DWORD>(setting_count, 0x44332211u)), guarded_load(&intact));
}
