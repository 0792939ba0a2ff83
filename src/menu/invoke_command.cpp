// Command invocation.
#include "../common/qv_shellex.h"

STDMETHODIMP qv_shellex::InvokeCommand(CMINVOKECOMMANDINFO *pici)
{
    (void)pici;
    return E_NOTIMPL;
}

STDMETHODIMP qv_shellex::GetCommandString(UINT_PTR idCmd, UINT uType, UINT *pReserved, CHAR *pszName, UINT cchMax)
{
    (void)idCmd;
    (void)uType;
    (void)pReserved;
    (void)pszName;
    (void)cchMax;
    return E_NOTIMPL;
}
