// The extension's settings: DWORD values under
// HKEY_LOCAL_MACHINE\Software\Quorvane\Shellex, each overridden by a value
// of the same name under HKEY_CURRENT_USER\Software\Quorvane\Shellex; both
// overridden by policy (Software\Policies\Quorvane\Shellex, the user's,
// then the machine's, which wins).
#pragma once
#include <windows.h>

#define QV_SETTINGS_KEY "Software\\Quorvane\\Shellex"
// Where Group Policy writes the same values, under either hive.
#define QV_POLICY_KEY "Software\\Policies\\Quorvane\\Shellex"

// The longest wait for a listing, in milliseconds: Windows takes a window
// that has not answered for five seconds as hung.  Larger values count as it.
#define QV_MAX_LISTING_TIME_LIMIT 5000

struct qv_config {
    // The loader walks these in declaration order, in step with the
    // registry value names: keep the two in the same order.
    DWORD OnlyAllowedOnDesktop;
    DWORD MaxMenuItems;
    DWORD HideItemNormalOnDesktop;
    DWORD HideItemNormalOnExplorer;
    DWORD HideItemLogo;
    DWORD HideItemDotDot;
    DWORD HideFileExtension;
    // Milliseconds the host's thread waits for a listing; 0: no limit.
    DWORD ListingTimeLimit;
    // Non-zero: sub-folders open as submenus listing them.
    DWORD CascadeFolders;
    // 0: entries in the order the folder gives them; 1: folders first, then
    // every name in Explorer's order (StrCmpLogicalW).
    DWORD SortEntries;

    // Writes the defaults, then overrides each field whose value is a 4-byte
    // REG_DWORD under, in turn, the machine's key, the user's key, the
    // user's policy key and the machine's policy key, so the last one found
    // wins; every field is then held to its largest value: 1 for on-off
    // settings, 2 for HideFileExtension, QV_MAX_LISTING_TIME_LIMIT for
    // ListingTimeLimit (MaxMenuItems takes any value).
    void load();
};
