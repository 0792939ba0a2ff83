// Initialization from the selected item.
#include "../common/qv_shellex.h"

STDMETHODIMP qv_shellex::Initialize(PCIDLIST_ABSOLUTE pidlFolder, IDataObject *pdtobj, HKEY hkeyProgID)
{
    (void)pidlFolder;
    (void)pdtobj;
    (void)hkeyProgID;
    return E_NOTIMPL;
}
