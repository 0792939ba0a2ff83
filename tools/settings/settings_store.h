// The settings as the registry holds them (policies, the current user's and
// the machine's values), and the writing of the user's or all users' values.
#pragma once
#include <windows.h>
#include <vector>

enum value_source { from_policy, from_user, from_machine, from_default };

struct stored_setting {
    const char *name;  // registry value name
    bool has_policy, has_user, has_machine;
    DWORD policy, user, machine, fallback;  // policy: the one that wins; fallback: the default

    DWORD machine_or_default() const { return has_machine ? machine : fallback; }
    DWORD value() const { return has_policy ? policy : has_user ? user : machine_or_default(); }
    value_source source() const
    {
        return has_policy ? from_policy : has_user ? from_user : has_machine ? from_machine : from_default;
    }
};

// Every setting in the field order of qv_config, read with the loader's rules.
std::vector<stored_setting> read_settings();

// Writes a REG_DWORD under root\Software\Quorvane\Shellex, creating the key.
LONG write_setting(HKEY root, const char *name, DWORD value);
// Deletes the value from HKCU\Software\Quorvane\Shellex; a value or key
// that does not exist counts as deleted.
LONG remove_user_setting(const char *name);

// Whether this process runs with an elevated (administrator) token.
bool running_elevated();
