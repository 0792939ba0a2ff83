// The command identifiers kept for the entries of sub-folders' submenus:
// each identifier of the pool belongs to one entry of one submenu, or to
// none.  A submenu takes identifiers when it is listed and gives them back
// when it is emptied, so browsing never runs out; only the submenus shown
// at the same time share the pool.
#pragma once
#include <windows.h>

// The owner of one identifier: submenu + 1 (0: free) and the entry's index.
struct qv_identifier_owner {
    UINT submenu_plus_one;
    UINT entry;
};

struct qv_identifier_pool {
    UINT first;                   // first identifier of the pool
    UINT size;                    // identifiers in it
    UINT free_count;
    UINT search_from;             // where the next search for a free one starts
    qv_identifier_owner *owners;  // heap, `size` of them
};

// The identifiers from `first` up to `end` (exclusive).  False, with an
// empty pool, when there are none or no memory for them.
bool pool_init(qv_identifier_pool *pool, UINT first, UINT end);
void pool_clear(qv_identifier_pool *pool);
// Gives entry `entry` of `submenu` a free identifier; 0 when none is free.
UINT pool_take(qv_identifier_pool *pool, UINT submenu, UINT entry);
// Frees every identifier that `submenu` holds.
void pool_release(qv_identifier_pool *pool, UINT submenu);
// The submenu and entry that `id` belongs to; false for a free identifier
// or one outside the pool.
bool pool_owner(const qv_identifier_pool *pool, UINT id, UINT *submenu, UINT *entry);
