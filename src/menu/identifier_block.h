// The block of command identifiers a menu reserves between the shell's
// idCmdFirst and idCmdLast: one per entry, the logo, the "| NORMAL |" item,
// room to spare, and a pool for the entries of sub-folders' submenus.
#pragma once
#include <windows.h>

// Identifiers reserved beyond one per entry: the logo, the "| NORMAL |"
// submenu item, and room to spare.
#define QV_EXTRA_IDS 10
// Identifiers kept for the entries of sub-folders' submenus, when they
// cascade: a few thousand, fewer when the shell gives fewer.
#define QV_SUBMENU_IDS 4000
// The count reserved travels in the 16-bit code of QueryContextMenu's result.
#define QV_MAX_RESERVED 0xFFFF

// Most entries (names and the "." after them) a listing may have so that
// every entry, the logo and the "| NORMAL |" item get an identifier of the
// block: the range's width, but never more than QV_MAX_RESERVED, less two.
// The range must be wider than QV_EXTRA_IDS.
UINT64 entries_that_fit(UINT first, UINT last);

struct qv_identifier_block {
    UINT end;         // end (exclusive) of the block
    UINT pool_first;  // first identifier of the submenus' pool; 0: no pool
};

// The block for `entries` entries, with the pool when `cascade`: within
// `last` and QV_MAX_RESERVED identifiers in all.
qv_identifier_block identifier_block(UINT first, UINT last, UINT64 entries, bool cascade);
