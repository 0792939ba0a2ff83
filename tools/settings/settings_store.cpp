#include "settings_store.h"
#include "common/qv_config_values.h"

std::vector<stored_setting> read_settings()
{
    qv_config user = qv_config_defaults(), machine = qv_config_defaults(), policy = qv_config_defaults();
    unsigned user_taken = qv_config_read(HKEY_CURRENT_USER, &user);
    unsigned machine_taken = qv_config_read(HKEY_LOCAL_MACHINE, &machine);
    // The machine's policy over the user's, as the loader takes them.
    unsigned policy_taken = qv_config_read(HKEY_CURRENT_USER, &policy, QV_POLICY_KEY) |
                            qv_config_read(HKEY_LOCAL_MACHINE, &policy, QV_POLICY_KEY);
    qv_config fallback = qv_config_defaults();

    std::vector<stored_setting> settings;
    for (unsigned i = 0; i < qv_config_value_count; i++) {
        stored_setting s;
        s.name = qv_config_value_name(i);
        s.has_policy = (policy_taken >> i) & 1;
        s.has_user = (user_taken >> i) & 1;
        s.has_machine = (machine_taken >> i) & 1;
        s.policy = qv_config_field(policy, i);
        s.user = qv_config_field(user, i);
        s.machine = qv_config_field(machine, i);
        s.fallback = qv_config_field(fallback, i);
        settings.push_back(s);
    }
    return settings;
}

LONG write_setting(HKEY root, const char *name, DWORD value)
{
    HKEY key;
    LONG er = RegCreateKeyExA(root, QV_SETTINGS_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL);
    if (er != ERROR_SUCCESS)
        return er;
    er = RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value));
    RegCloseKey(key);
    return er;
}

LONG remove_user_setting(const char *name)
{
    HKEY key;
    LONG er = RegOpenKeyExA(HKEY_CURRENT_USER, QV_SETTINGS_KEY, 0, KEY_SET_VALUE, &key);
    if (er == ERROR_FILE_NOT_FOUND)
        return ERROR_SUCCESS;
    if (er != ERROR_SUCCESS)
        return er;
    er = RegDeleteValueA(key, name);
    RegCloseKey(key);
    return er == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : er;
}

bool running_elevated()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
                    elevation.TokenIsElevated;
    CloseHandle(token);
    return elevated;
}
