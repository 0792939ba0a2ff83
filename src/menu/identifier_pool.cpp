// Identifiers of submenu entries, taken and given back one by one.
#include "menu/identifier_pool.h"
#include <stdlib.h>
#include <string.h>

bool pool_init(qv_identifier_pool *pool, UINT first, UINT end)
{
    memset(pool, 0, sizeof(*pool));
    if (end <= first)
        return false;
    pool->owners = (qv_identifier_owner *)calloc(end - first, sizeof(qv_identifier_owner));
    if (!pool->owners)
        return false;
    pool->first = first;
    pool->size = end - first;
    pool->free_count = pool->size;
    return true;
}

void pool_clear(qv_identifier_pool *pool)
{
    free(pool->owners);
    memset(pool, 0, sizeof(*pool));
}

UINT pool_take(qv_identifier_pool *pool, UINT submenu, UINT entry)
{
    if (pool->free_count == 0)
        return 0;
    for (UINT n = 0; n < pool->size; n++) {
        UINT i = (pool->search_from + n) % pool->size;
        if (pool->owners[i].submenu_plus_one == 0) {
            pool->owners[i].submenu_plus_one = submenu + 1;
            pool->owners[i].entry = entry;
            pool->free_count--;
            pool->search_from = (i + 1) % pool->size;
            return pool->first + i;
        }
    }
    return 0;
}

void pool_release(qv_identifier_pool *pool, UINT submenu)
{
    for (UINT i = 0; i < pool->size; i++) {
        if (pool->owners[i].submenu_plus_one == submenu + 1) {
            pool->owners[i].submenu_plus_one = 0;
            pool->free_count++;
        }
    }
}

bool pool_owner(const qv_identifier_pool *pool, UINT id, UINT *submenu, UINT *entry)
{
    if (id < pool->first || id - pool->first >= pool->size)
        return false;
    const qv_identifier_owner &owner = pool->owners[id - pool->first];
    if (owner.submenu_plus_one == 0)
        return false;
    *submenu = owner.submenu_plus_one - 1;
    *entry = owner.entry;
    return true;
}
