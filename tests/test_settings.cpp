// The settings loader against the registry of the test prefix.
#include <gtest/gtest.h>
#include <string.h>
#include <algorithm>
#include <vector>
#include "common/qv_config.h"
#include "setting_names.h"
#include "test_support.h"

namespace {

std::vector<DWORD> fields(const qv_config &config)
{
    const DWORD *first = &config.OnlyAllowedOnDesktop;
    return std::vector<DWORD>(first, first + setting_count);
}

// Loads into a record full of garbage, so that every field must be written.
std::vector<DWORD> load()
{
    qv_config config;
    memset(&config, 0xAB, sizeof(config));
    config.load();
    return fields(config);
}

void set_raw(const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    ASSERT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, settings_key, name, type, data, size));
}

} // namespace

TEST(Settings, MissingKeyOrValuesGiveDefaults)
{
    settings_scope scope;
    ASSERT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, settings_key));
    qv_config config;
    memset(&config, 0xAB, sizeof(config));
    config.load();
    EXPECT_EQ(0u, config.OnlyAllowedOnDesktop);
    EXPECT_EQ(100u, config.MaxMenuItems);
    EXPECT_EQ(1u, config.HideFileExtension);
    EXPECT_EQ(defaults, fields(config));

    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, settings_key, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
    EXPECT_EQ(defaults, load());
}

TEST(Settings, EachValueFillsItsOwnField)
{
    for (int i = 0; i < setting_count; i++) {
        settings_scope scope;
        scope.set(value_names[i], 0x1000 + i);
        std::vector<DWORD> expected = defaults;
        expected[i] = 0x1000 + i;
        EXPECT_EQ(held(expected), load()) << "only " << testing::PrintToString(std::wstring(value_names[i]));
    }
    settings_scope scope;
    std::vector<DWORD> expected;
    for (int i = 0; i < setting_count; i++) {
        scope.set(value_names[i], setting_count - i);
        expected.push_back(setting_count - i);
    }
    EXPECT_EQ(held(expected), load());
}

TEST(Settings, OtherTypesLeaveTheDefaultAndLaterNamesAreStillRead)
{
    settings_scope scope;
    UINT64 eight = 5;
    BYTE binary[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    scope.set(L"OnlyAllowedOnDesktop", 1);
    set_raw(L"MaxMenuItems", REG_QWORD, &eight, sizeof(eight));
    scope.set(L"HideItemNormalOnDesktop", 3);
    set_raw(L"HideItemNormalOnExplorer", REG_BINARY, binary, sizeof(binary));
    set_raw(L"HideItemLogo", REG_SZ, L"1", 2 * sizeof(wchar_t));
    scope.set(L"HideItemDotDot", 7);
    set_raw(L"HideFileExtension", REG_BINARY, binary, 4);  // right size, wrong type
    EXPECT_EQ(held({1, 100, 3, 0, 0, 7, 1, 300, 0, 0}), load());

    // A REG_DWORD longer than four bytes does not fit the buffer.
    set_raw(L"HideItemLogo", REG_DWORD, &eight, sizeof(eight));
    EXPECT_EQ(held({1, 100, 3, 0, 0, 7, 1, 300, 0, 0}), load());
}

TEST(Settings, ShortDwordKeepsTheDefaultNotTheLastValuesBytes)
{
    settings_scope scope;
    scope.set(L"OnlyAllowedOnDesktop", 0x12345678);
    BYTE two[2] = {0x01, 0x00};
    set_raw(L"MaxMenuItems", REG_DWORD, two, sizeof(two));
    set_raw(L"HideItemLogo", REG_DWORD, two, 0);

    // The platform reports such a value as a successful 2-byte REG_DWORD and
    // fills only those two bytes of the 4-byte buffer.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, QV_SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key));
    DWORD buffer = 0x12345678, type = 0, size = 4;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "MaxMenuItems", NULL, &type, (BYTE *)&buffer, &size));
    RegCloseKey(key);
    EXPECT_EQ((DWORD)REG_DWORD, type);
    EXPECT_EQ(2u, size);
    EXPECT_EQ(0x12340001u, buffer);

    EXPECT_EQ((std::vector<DWORD>{1, 100, 0, 0, 0, 0, 1, 300, 0, 0}), load());
}

// Every value is held to the range the templates and the window give: an
// on-off setting's 7 is on (1), HideFileExtension's 3 or more hides every
// extension (2), MaxMenuItems takes the whole DWORD range.
TEST(Settings, ValuesAreHeldToTheirDocumentedRanges)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 0);
    EXPECT_EQ(0u, load()[1]);
    for (DWORD value : {2u, 3u, 7u, 0xFFFFFFFFu}) {
        for (int i = 0; i < setting_count; i++)
            scope.set(value_names[i], value);
        std::vector<DWORD> expected = {1, value, 1, 1, 1, 1, 2, std::min<DWORD>(value, 5000), 1, 1};
        EXPECT_EQ(expected, load()) << value;
    }
    scope.set(L"HideFileExtension", 1);
    EXPECT_EQ(1u, load()[6]);
}

TEST(Settings, SampleFilesSetEveryValueToItsDefaultUnderTheirOwnKey)
{
    struct sample_file {
        const wchar_t *name;
        HKEY root, other_root;
    };
    for (sample_file file : {sample_file{L"quorvane-shellex-settings.reg", HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER},
                             sample_file{L"quorvane-shellex-settings-user.reg", HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(file.name)));
        // build/bin -> the source tree's dist folder.
        std::wstring sample = test_bin_dir() + L"\\..\\..\\dist\\" + file.name;
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(sample.c_str()));
        settings_scope scope;
        ASSERT_EQ(0u, run_process(L"regedit.exe /s \"" + sample + L"\""));
        EXPECT_FALSE(reg_key_exists(file.other_root, settings_key));

        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(file.root, settings_key, 0, KEY_QUERY_VALUE, &key));
        DWORD values = 0;
        RegQueryInfoKeyW(key, NULL, NULL, NULL, NULL, NULL, NULL, &values, NULL, NULL, NULL, NULL);
        EXPECT_EQ((DWORD)setting_count, values);
        for (int i = 0; i < setting_count; i++) {
            DWORD value = 0xAB, type = 0, size = sizeof(value);
            EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, value_names[i], NULL, &type, (BYTE *)&value, &size));
            EXPECT_EQ((DWORD)REG_DWORD, type);
            EXPECT_EQ(defaults[i], value) << testing::PrintToString(std::wstring(value_names[i]));
        }
        RegCloseKey(key);
        EXPECT_EQ(defaults, load());
    }
}

TEST(Settings, UserValuesOverrideMachineValuesOneByOne)
{
    settings_scope scope;
    // The user's key alone.
    scope.set_user(L"MaxMenuItems", 7);
    scope.set_user(L"HideItemDotDot", 1);
    std::vector<DWORD> expected = defaults;
    expected[1] = 7;
    expected[5] = 1;
    EXPECT_EQ(expected, load());

    // Both keys: the user's value wins where both have one, the machine's
    // value counts where only it has one.
    scope.set(L"MaxMenuItems", 50);
    scope.set(L"HideItemLogo", 1);
    scope.set(L"HideFileExtension", 2);
    scope.set_user(L"HideFileExtension", 0);
    expected[4] = 1;
    expected[6] = 0;
    EXPECT_EQ(expected, load());

    // A user value that is not a 4-byte REG_DWORD leaves the machine's value,
    // and one the machine lacks leaves the default.
    BYTE two[2] = {9, 0};
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, settings_key, L"MaxMenuItems", REG_SZ, L"7", 2 * sizeof(wchar_t)));
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, settings_key, L"HideItemLogo", REG_DWORD, two, sizeof(two)));
    ASSERT_TRUE(reg_set_value(HKEY_CURRENT_USER, settings_key, L"ListingTimeLimit", REG_BINARY, two, sizeof(two)));
    expected[1] = 50;
    EXPECT_EQ(expected, load());

    // The loader wrote nothing to either key.
    std::vector<std::wstring> machine = reg_snapshot(HKEY_LOCAL_MACHINE, settings_key);
    std::vector<std::wstring> user = reg_snapshot(HKEY_CURRENT_USER, settings_key);
    load();
    EXPECT_EQ(machine, reg_snapshot(HKEY_LOCAL_MACHINE, settings_key));
    EXPECT_EQ(user, reg_snapshot(HKEY_CURRENT_USER, settings_key));
}

// A wait past five seconds on the shell's thread would make Explorer hang:
// larger limits, from either key, count as 5,000 ms; the rest as they are.
TEST(Settings, ListingTimeLimitIsHeldToFiveSeconds)
{
    settings_scope scope;
    qv_config config;
    for (DWORD value : {0u, 300u, 5000u}) {
        scope.set(L"ListingTimeLimit", value);
        config.load();
        EXPECT_EQ(value, config.ListingTimeLimit);
    }
    for (DWORD value : {5001u, 60000u, 0xFFFFFFFFu}) {
        scope.set(L"ListingTimeLimit", value);
        config.load();
        EXPECT_EQ(5000u, config.ListingTimeLimit) << value;
    }
    scope.set(L"ListingTimeLimit", 100);
    scope.set_user(L"ListingTimeLimit", 0xFFFFFFFF);
    config.load();
    EXPECT_EQ(5000u, config.ListingTimeLimit);
}

// Policies win over the user's and the machine's values, the machine's
// policy over the user's, value by value, with the same reading rule.
TEST(Settings, PoliciesWinValueByValue)
{
    settings_scope scope;
    scope.set(L"MaxMenuItems", 50);
    scope.set(L"HideItemLogo", 1);
    scope.set_user(L"MaxMenuItems", 7);
    scope.set_user(L"HideItemDotDot", 1);
    scope.set_user(L"CascadeFolders", 1);
    scope.set_policy(HKEY_CURRENT_USER, L"MaxMenuItems", 20);
    scope.set_policy(HKEY_CURRENT_USER, L"HideItemDotDot", 0);
    scope.set_policy(HKEY_LOCAL_MACHINE, L"HideItemDotDot", 1);
    scope.set_policy(HKEY_LOCAL_MACHINE, L"HideItemLogo", 0);
    scope.set_policy(HKEY_LOCAL_MACHINE, L"ListingTimeLimit", 0xFFFFFFFF);
    // Not a 4-byte REG_DWORD: the next source down counts.
    const std::wstring policy_key = L"Software\\Policies\\Quorvane\\Shellex";
    ASSERT_TRUE(reg_set_value(HKEY_LOCAL_MACHINE, policy_key, L"CascadeFolders", REG_SZ, L"0", 2 * sizeof(wchar_t)));

    std::vector<DWORD> expected = defaults;
    expected[1] = 20;    // the user's policy over the user's value
    expected[4] = 0;     // the machine's policy over the machine's value
    expected[5] = 1;     // the machine's policy over the user's policy
    expected[7] = 5000;  // held to five seconds like any other source
    expected[8] = 1;     // the user's value: the policy is no REG_DWORD
    EXPECT_EQ(expected, load());
}
