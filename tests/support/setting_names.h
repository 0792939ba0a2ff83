// The settings as the registry holds them, for the settings tests.
#pragma once
#include <windows.h>
#include <vector>

inline const wchar_t settings_key[] = L"Software\\Quorvane\\Shellex";
// Field order of qv_config.
inline const wchar_t *const value_names[] = {
    L"OnlyAllowedOnDesktop", L"MaxMenuItems",   L"HideItemNormalOnDesktop", L"HideItemNormalOnExplorer",
    L"HideItemLogo",         L"HideItemDotDot", L"HideFileExtension",        L"ListingTimeLimit",
    L"CascadeFolders",       L"SortEntries",
};
inline constexpr int setting_count = sizeof(value_names) / sizeof(value_names[0]);
inline const std::vector<DWORD> defaults = {0, 100, 0, 0, 0, 0, 1, 300, 0, 0};
// The largest value of each setting as the policy templates and the
// settings window give them; the loader holds larger ones to it.
inline const std::vector<DWORD> maxima = {1, 0xFFFFFFFF, 1, 1, 1, 1, 2, 5000, 1, 1};
// `values` as the loader takes them: each held to its maximum.
inline std::vector<DWORD> held(std::vector<DWORD> values)
{
    for (size_t i = 0; i < values.size() && i < maxima.size(); i++)
        if (values[i] > maxima[i])
            values[i] = maxima[i];
    return values;
}
