// Command reservation.
#include "../common/qv_shellex.h"

STDMETHODIMP qv_shellex::QueryContextMenu(HMENU hmenu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT uFlags)
{
    (void)hmenu;
    (void)indexMenu;
    (void)idCmdFirst;
    (void)idCmdLast;
    (void)uFlags;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
}
