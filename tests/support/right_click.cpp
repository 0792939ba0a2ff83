// A right-click as the shell makes it.
#include "right_click.h"
#include "extension/qv_shellex.h"
#include "test_support.h"

click right_click(IShellExtInit *init, IContextMenu *context, const std::wstring &item, HMENU menu, UINT flags)
{
    click r;
    IDataObject *data = hdrop_data_object({item});
    DWORD start = GetTickCount();
    r.init = init->Initialize(NULL, data, NULL);
    HRESULT hr = context->QueryContextMenu(menu, 0, 100, 0x7FFF, flags);
    r.ms = GetTickCount() - start;
    data->Release();
    r.reserved = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
    return r;
}

click right_click(qv_shellex *ext, const std::wstring &item, UINT flags)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    click r = right_click(ext, ext, item, menu, flags);
    for (UINT64 i = 0; i < ext->list.entry_count; i++)
        r.names.push_back(list_name(&ext->list, i));
    DestroyMenu(menu);
    return r;
}
