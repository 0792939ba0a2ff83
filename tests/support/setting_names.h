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
