// Storage of a folder listing.
#include <stdlib.h>
#include <stdint.h>
#include <string.h>
#include <wchar.h>
#include "common/qv_item_list.h"

UINT64 list_grown_capacity(UINT64 used, UINT64 capacity, UINT64 needed, size_t elem_size)
{
    if (capacity >= used && capacity - used >= needed)
        return capacity;
    UINT64 required = used + needed;
    if (required < used)
        return 0;
    if (required < 4)
        return 4;
    if (capacity > UINT64_MAX / 2)
        return 0;
    UINT64 grown = capacity * 2 > required ? capacity * 2 : required;
    if (grown > (UINT64)SIZE_MAX / elem_size)
        return 0;
    return grown;
}

// Grows *array in place; on failure the array and its capacity stay as they were.
static int grow_array(void **array, UINT64 used, UINT64 *capacity, UINT64 needed, size_t elem_size)
{
    UINT64 grown = list_grown_capacity(used, *capacity, needed, elem_size);
    if (grown == 0)
        return 0;
    if (grown == *capacity)
        return 1;
    void *moved = realloc(*array, (size_t)(grown * elem_size));
    if (!moved)
        return 0;
    *array = moved;
    *capacity = grown;
    return 1;
}

void list_clear(qv_item_list *list)
{
    free(list->pool);
    free(list->entries);
    memset(list, 0, sizeof(*list));
}

int list_append_name(qv_item_list *list, const WCHAR *name, UINT64 len)
{
    if (len == UINT64_MAX)
        return 0;
    // Grow both before writing either, so that a failure appends nothing.
    if (!grow_array((void **)&list->pool, list->pool_used, &list->pool_capacity, len + 1, sizeof(WCHAR)))
        return 0;
    if (!grow_array((void **)&list->entries, list->entry_count, &list->entry_capacity, 1, sizeof(qv_entry)))
        return 0;
    UINT64 offset = list->pool_used;
    if (len)
        memcpy(list->pool + offset, name, (size_t)len * sizeof(WCHAR));
    list->pool[offset + len] = 0;
    list->pool_used = offset + len + 1;
    list->entries[list->entry_count].name_offset = offset;
    list->entries[list->entry_count].icon = QV_NO_ICON;
    list->entries[list->entry_count].attributes = 0;
    list->entries[list->entry_count].icon_kind = qv_icon_type;
    list->entry_count++;
    return 1;
}

int list_append_ansi(qv_item_list *list, const char *text)
{
    WCHAR wide[1024];
    int len = MultiByteToWideChar(CP_ACP, 0, text, (int)strlen(text), wide, 1024);
    return list_append_name(list, wide, (UINT64)(len > 0 ? len : 0));
}

void list_reserve(qv_item_list *list, UINT64 chars, UINT64 records)
{
    grow_array((void **)&list->pool, list->pool_used, &list->pool_capacity, chars, sizeof(WCHAR));
    grow_array((void **)&list->entries, list->entry_count, &list->entry_capacity, records, sizeof(qv_entry));
}

UINT64 list_copy_entries(qv_item_list *to, const qv_item_list *from, const UINT64 *order, UINT64 count,
                         UINT64 icons)
{
    if (count > from->entry_count)
        count = from->entry_count;
    UINT64 copied = 0;
    for (; copied < count; copied++) {
        UINT64 j = order ? order[copied] : copied;
        const WCHAR *name = list_name(from, j);
        if (!list_append_name(to, name, wcslen(name)))
            break;
        qv_entry *copy = &to->entries[to->entry_count - 1];
        copy->icon = copied < icons ? from->entries[j].icon : QV_NO_ICON;
        copy->icon_kind = copied < icons ? from->entries[j].icon_kind : qv_icon_type;
        copy->attributes = from->entries[j].attributes;
    }
    return copied;
}

UINT64 list_icon_count(const qv_item_list *list)
{
    UINT64 n = 0;
    for (UINT64 i = 0; i < list->entry_count; i++)
        n += list->entries[i].icon != QV_NO_ICON;
    return n;
}
