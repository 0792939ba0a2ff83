#include "gdi_objects.h"
#include <winternl.h>

namespace {

// One record of the GDI handle table; a used record has a nonzero type.
struct gdi_handle_entry {
    UINT64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    UINT64 user;
};
static_assert(sizeof(gdi_handle_entry) == 24, "handle table record");

const int GDI_TABLE_SIZE = 0x10000;
const size_t PEB_GDI_TABLE_OFFSET = 0xF8;  // PEB.GdiSharedHandleTable on x64

long count_table()
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"  // GCC misreads the gs-relative TEB read
    const BYTE *peb = (const BYTE *)NtCurrentTeb()->ProcessEnvironmentBlock;
#pragma GCC diagnostic pop
    const gdi_handle_entry *table = *(gdi_handle_entry *const *)(peb + PEB_GDI_TABLE_OFFSET);
    if (!table)
        return -1;
    long used = 0;
    for (int i = 0; i < GDI_TABLE_SIZE; i++)
        used += table[i].type != 0;
    return used;
}

}  // namespace

long live_gdi_objects()
{
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported)
        return (long)reported;
    // Trust the table only if it sees one bitmap come and go.
    long before = count_table();
    HBITMAP probe = CreateBitmap(1, 1, 1, 1, NULL);
    long with_probe = count_table();
    DeleteObject(probe);
    long after = count_table();
    if (before < 0 || with_probe != before + 1 || after != before)
        return -1;
    return after;
}

namespace {

// Wine numbers USER handles from 0x20 in steps of two; a handle whose upper
// 16 bits are zero matches its slot whatever its generation.
const ULONG_PTR FIRST_USER_HANDLE = 0x20;
const ULONG_PTR USER_HANDLE_SLOTS = 0x7FE8;

long probe_user_table()
{
    HDC screen = GetDC(NULL);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 1, 1);
    ReleaseDC(NULL, screen);
    HGDIOBJ old = SelectObject(dc, target);
    long used = 0;
    for (ULONG_PTR slot = 0; slot < USER_HANDLE_SLOTS; slot++) {
        HANDLE handle = (HANDLE)(FIRST_USER_HANDLE + 2 * slot);
        if (IsMenu((HMENU)handle) || DrawIconEx(dc, 0, 0, (HICON)handle, 1, 1, 0, NULL, DI_NORMAL))
            used++;
    }
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    return used;
}

}  // namespace

long live_user_objects()
{
    DWORD reported = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    if (reported)
        return (long)reported;
    // Trust the probe only if it sees one menu come and go.
    long before = probe_user_table();
    HMENU probe = CreatePopupMenu();
    long with_probe = probe_user_table();
    DestroyMenu(probe);
    long after = probe_user_table();
    if (with_probe != before + 1 || after != before)
        return -1;
    return after;
}

SIZE_T heap_bytes_in_use()
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    SIZE_T used = 0;
    for (DWORD i = 0; i < count && i < 64; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                used += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return used;
}
