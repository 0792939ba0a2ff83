// The class factory and the COM entry points DllGetClassObject and
// DllCanUnloadNow.
#include <windows.h>
#include <string.h>
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "extension/qv_shellex.h"
#include "common/trace.h"
#include "listing/kept_listings.h"
#include "listing/listing_job.h"
#include "menu/thread_menus.h"

// One static factory; its reference count is OutstandingObjects itself, so a
// factory reference keeps the module loaded like a live object does.
class qv_class_factory_t : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        trace("QueryInterface: ppReturn=%p\n", (void *)ppv);
        *ppv = NULL;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
            *ppv = static_cast<IClassFactory *>(this);
        trace("QueryInterface: *ppReturn=%p\n", *ppv);
        if (!*ppv)
            return E_NOINTERFACE;
        trace("QueryInterface: pUnk=%p\n", *ppv);
        static_cast<IUnknown *>(*ppv)->AddRef();
        return S_OK;
    }

    STDMETHODIMP_(ULONG) AddRef() override
    {
        InterlockedIncrement(&g_module_users);
        return (ULONG)InterlockedIncrement(&OutstandingObjects);
    }

    STDMETHODIMP_(ULONG) Release() override
    {
        InterlockedDecrement(&g_module_users);
        return (ULONG)InterlockedDecrement(&OutstandingObjects);
    }

    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = NULL;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        qv_shellex *object = qv_shellex::create();
        if (!object)
            return E_OUTOFMEMORY;
        // On an unsupported interface this Release destroys the object again.
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }

    STDMETHODIMP LockServer(BOOL lock) override
    {
        if (lock)
            InterlockedIncrement(&OutstandingObjects);
        else
            InterlockedDecrement(&OutstandingObjects);
        return S_OK;
    }
};

static qv_class_factory_t qv_class_factory;

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = NULL;
    if (memcmp(&rclsid, &CLSID_QuorvaneShellex, sizeof(CLSID)) != 0)
        return CLASS_E_CLASSNOTAVAILABLE;
    return qv_class_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow(void)
{
    trace("DllCanUnloadNow: hooks=%ld OutstandingObjects=%d\n", (long)menu_hook_count(), (int)OutstandingObjects);
    // Listings kept past their time go, whether or not the module does.
    kept_listings_expire();
    // Hooks of any thread keep the module: their procedures live in it.  So
    // does a live object or factory reference, whatever the lock count says,
    // and a worker that still reads a slow drive.
    if (menu_hook_count() != 0 || OutstandingObjects != 0 || g_module_users != 0 || listing_workers() != 0)
        return S_FALSE;
    return S_OK;
}
