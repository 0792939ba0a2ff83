// Self-registration.
#include <windows.h>

extern "C" HRESULT WINAPI DllRegisterServer(void)
{
    return E_NOTIMPL;
}

extern "C" HRESULT WINAPI DllUnregisterServer(void)
{
    return E_NOTIMPL;
}
