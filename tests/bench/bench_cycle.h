// One right-click cycle as the shell drives it, for the benchmarks.
#pragma once
#include <windows.h>
#include <string>
#include "extension/qv_shellex.h"
#include "test_support.h"
#include "bench_common.h"

namespace {

// Initialize + QueryContextMenu + the fill at WM_INITMENU on `folder` (with
// the data object the shell made before), then the menu's close and the
// object's release; returns the milliseconds of the first part, what a user
// waits for.
inline double right_click_ms(const std::wstring &folder, HWND owner)
{
    // The shell has the selection's data object before it asks us.
    IDataObject *data = shell_data_object({folder});
    double start = now_ms();
    qv_shellex *ext = qv_shellex::create();
    ext->Initialize(NULL, data, NULL);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    AppendMenuW(menu, MF_STRING, 2, L"Properties");
    ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    double elapsed = now_ms() - start;
    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    data->Release();
    ext->Release();
    return elapsed;
}

}  // namespace
