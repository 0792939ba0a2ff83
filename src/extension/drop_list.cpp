// Checks of a CF_HDROP block handed over by another program.
#include "extension/drop_list.h"
#include <string.h>

// The list is a run of NUL-terminated names closed by an empty one.
template <typename CHAR_T>
static bool list_ends_inside(const BYTE *list, SIZE_T bytes)
{
    SIZE_T count = bytes / sizeof(CHAR_T);
    bool name_start = true;
    for (SIZE_T i = 0; i < count; i++) {
        CHAR_T c;
        memcpy(&c, list + i * sizeof(CHAR_T), sizeof(c));  // pFiles need not be aligned
        if (c == 0) {
            if (name_start)
                return true;
            name_start = true;
        } else {
            name_start = false;
        }
    }
    return false;
}

bool drop_list_is_sound(const void *block, SIZE_T size)
{
    if (!block || size < sizeof(DROPFILES))
        return false;
    DROPFILES header;
    memcpy(&header, block, sizeof(header));
    if (header.pFiles >= size)
        return false;
    const BYTE *list = (const BYTE *)block + header.pFiles;
    SIZE_T bytes = size - header.pFiles;
    return header.fWide ? list_ends_inside<WCHAR>(list, bytes) : list_ends_inside<char>(list, bytes);
}
