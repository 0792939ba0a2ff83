// The registry side of qv_config, for programs that show or change the
// settings: the value names, the defaults and the reading rule that
// qv_config::load uses.
#pragma once
#include <windows.h>
#include "common/qv_config.h"

// One DWORD field per registry value, in declaration order.
constexpr unsigned qv_config_value_count = sizeof(qv_config) / sizeof(DWORD);

// The registry value name of field `index`, or NULL past the last field.
const char *qv_config_value_name(unsigned index);

// The settings when the registry holds none.
const qv_config &qv_config_defaults();

// Field `index` of `config` (no bounds check: index < qv_config_value_count).
inline DWORD &qv_config_field(qv_config &config, unsigned index)
{
    return (&config.OnlyAllowedOnDesktop)[index];
}

// Overrides each field of `config` whose value under root\key (the settings'
// key, or QV_POLICY_KEY) is a REG_DWORD of exactly four bytes, and leaves the
// others.  Returns a mask with bit `index` set for each field taken.  Reads
// only.
unsigned qv_config_read(HKEY root, qv_config *config, const char *key = QV_SETTINGS_KEY);
