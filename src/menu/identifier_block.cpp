// Command identifier arithmetic, in 64 bits so that nothing wraps.
#include "menu/identifier_block.h"

UINT64 entries_that_fit(UINT first, UINT last)
{
    UINT64 ids = (UINT64)last - first;
    if (ids > QV_MAX_RESERVED)
        ids = QV_MAX_RESERVED;
    return ids - 2;
}

qv_identifier_block identifier_block(UINT first, UINT last, UINT64 entries, bool cascade)
{
    UINT64 pool_first = (UINT64)first + entries + QV_EXTRA_IDS;
    UINT64 end = pool_first + (cascade ? QV_SUBMENU_IDS : 0);
    if (end > last)
        end = last;
    if (end > (UINT64)first + QV_MAX_RESERVED)
        end = (UINT64)first + QV_MAX_RESERVED;
    qv_identifier_block block;
    block.end = (UINT)end;
    block.pool_first = pool_first < end ? (UINT)pool_first : 0;
    return block;
}
