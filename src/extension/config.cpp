// Loading of the settings from HKEY_LOCAL_MACHINE\Software\Quorvane\Shellex,
// then HKEY_CURRENT_USER\Software\Quorvane\Shellex value by value over it,
// then the policies of the user and of the machine over both.
#include <string.h>
#include <type_traits>
#include "common/qv_config.h"
#include "common/qv_config_values.h"
#include "common/trace.h"

// Value names in field order, one NUL-terminated name each; the literal's own
// NUL ends the list with an empty name.
static constexpr char value_names[] =
    "OnlyAllowedOnDesktop\0"
    "MaxMenuItems\0"
    "HideItemNormalOnDesktop\0"
    "HideItemNormalOnExplorer\0"
    "HideItemLogo\0"
    "HideItemDotDot\0"
    "HideFileExtension\0"
    "ListingTimeLimit\0"
    "CascadeFolders\0"
    "SortEntries\0";

static const qv_config defaults = {
    0,    // OnlyAllowedOnDesktop
    100,  // MaxMenuItems
    0,    // HideItemNormalOnDesktop
    0,    // HideItemNormalOnExplorer
    0,    // HideItemLogo
    0,    // HideItemDotDot
    1,    // HideFileExtension
    300,  // ListingTimeLimit
    0,    // CascadeFolders
    0,    // SortEntries
};

// The largest value of each setting, in field order, as the policy
// templates and the settings window give them: on-off settings 1, the
// extension choice 2 (hide every extension).  A larger value counts as it,
// which is also what it meant before it was held there.
static const DWORD maxima[] = {
    1,                          // OnlyAllowedOnDesktop
    0xFFFFFFFF,                 // MaxMenuItems
    1,                          // HideItemNormalOnDesktop
    1,                          // HideItemNormalOnExplorer
    1,                          // HideItemLogo
    1,                          // HideItemDotDot
    2,                          // HideFileExtension
    QV_MAX_LISTING_TIME_LIMIT,  // ListingTimeLimit
    1,                          // CascadeFolders
    1,                          // SortEntries
};

static constexpr size_t count_names(const char *list)
{
    size_t n = 0;
    for (; *list; n++)
        while (*list++)
            ;
    return n;
}

// The loader treats the record as an array of DWORDs, one per name.
static_assert(std::is_standard_layout<qv_config>::value, "qv_config must stay a plain record");
static_assert(sizeof(qv_config) == count_names(value_names) * sizeof(DWORD),
              "one DWORD field per registry value name");

static_assert(sizeof(maxima) == sizeof(qv_config), "one maximum per field");
static_assert(qv_config_value_count <= 32, "qv_config_read reports the fields taken in 32 bits");

const char *qv_config_value_name(unsigned index)
{
    const char *name = value_names;
    for (unsigned i = 0; i < index && *name; i++)
        name += strlen(name) + 1;
    return *name ? name : NULL;
}

const qv_config &qv_config_defaults()
{
    return defaults;
}

unsigned qv_config_read(HKEY root, qv_config *config, const char *subkey)
{
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;

    unsigned taken = 0;
    DWORD *field = &config->OnlyAllowedOnDesktop;
    DWORD value = 0;  // kept between queries; only a full 4-byte read is stored
    unsigned index = 0;
    for (const char *name = value_names; *name; name += strlen(name) + 1, field++, index++) {
        DWORD type = 0;
        DWORD size = sizeof(value);
        LONG er = RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size);
        trace("qv_config_read: %s=%d dwType=%d er=%d cbData=%d\n", name, (int)value, (int)type, (int)er, (int)size);
        // A REG_DWORD shorter than 4 bytes fills only part of the buffer; the
        // rest would still hold the previous value's bytes.
        if (er == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value)) {
            *field = value;
            taken |= 1u << index;
        }
    }
    RegCloseKey(key);
    return taken;
}

void qv_config::load()
{
    *this = defaults;
    qv_config_read(HKEY_LOCAL_MACHINE, this);
    qv_config_read(HKEY_CURRENT_USER, this);
    // An administrator's policy wins over what the user or the machine set.
    qv_config_read(HKEY_CURRENT_USER, this, QV_POLICY_KEY);
    qv_config_read(HKEY_LOCAL_MACHINE, this, QV_POLICY_KEY);
    for (unsigned i = 0; i < qv_config_value_count; i++) {
        DWORD &field = qv_config_field(*this, i);
        if (field > maxima[i])
            field = maxima[i];
    }
}
