// Growth of a small array held as pointer, count and capacity.
#pragma once
#include <windows.h>
#include <stdlib.h>

// Makes room in *array for one element past `count`, doubling the capacity
// (16 at first).  False, with the array as it was, when memory runs out.
template <typename T> bool room_for_one(T **array, UINT count, UINT *capacity)
{
    if (count < *capacity)
        return true;
    UINT grown = *capacity ? *capacity * 2 : 16;
    void *moved = realloc(*array, grown * sizeof(T));
    if (!moved)
        return false;
    *array = (T *)moved;
    *capacity = grown;
    return true;
}
