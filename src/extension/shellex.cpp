// Lifetime and interfaces of the extension object.
#include <new>
#include "common/module_state.h"
#include "extension/qv_shellex.h"

qv_shellex *qv_shellex::create()
{
    // Zeroed, so that every field is defined before Initialize runs.
    void *memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(qv_shellex));
    if (!memory)
        return NULL;
    return new (memory) qv_shellex();
}

qv_shellex::qv_shellex() : refcount(1)
{
    InterlockedIncrement(&g_module_users);
    InterlockedIncrement(&OutstandingObjects);
}

qv_shellex::~qv_shellex()
{
    // The menu this object reserved goes with it; other objects' menus on
    // the same thread keep theirs.
    session_end(&session);
    list_clear(&list);
    InterlockedDecrement(&OutstandingObjects);
    InterlockedDecrement(&g_module_users);
}

STDMETHODIMP qv_shellex::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = NULL;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IShellExtInit))
        *ppv = static_cast<IShellExtInit *>(this);
    else if (IsEqualIID(riid, IID_IContextMenu) || IsEqualIID(riid, IID_IContextMenu2) ||
             IsEqualIID(riid, IID_IContextMenu3))
        *ppv = static_cast<IContextMenu3 *>(this);
    else
        return E_NOINTERFACE;
    static_cast<IUnknown *>(*ppv)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) qv_shellex::AddRef()
{
    // InvokeCommand may come on another thread than the one that showed
    // the menu, and the shell may release the object there.
    return (ULONG)InterlockedIncrement(&refcount);
}

STDMETHODIMP_(ULONG) qv_shellex::Release()
{
    ULONG count = (ULONG)InterlockedDecrement(&refcount);
    if (count != 0)
        return count;
    this->~qv_shellex();
    HeapFree(GetProcessHeap(), 0, this);
    return 0;
}
