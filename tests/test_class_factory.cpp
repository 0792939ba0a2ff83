// The class factory, the object count and the extension object's COM shape,
// called in-process as the COM runtime calls the exports.
#include <gtest/gtest.h>
#include <shlobj.h>
#include "menu/thread_menus.h"
#include "common/module_state.h"
#include "common/qv_clsid.h"
#include "extension/qv_shellex.h"
#include "test_support.h"

static IClassFactory *get_factory()
{
    IClassFactory *factory = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_QuorvaneShellex, IID_IClassFactory, (void **)&factory));
    return factory;
}

TEST(ClassFactory, SameFactoryEachTimeAndCounted)
{
    LONG before = OutstandingObjects;
    IClassFactory *a = get_factory();
    IClassFactory *b = get_factory();
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(a, b);
    EXPECT_EQ(before + 2, OutstandingObjects);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    b->Release();
    EXPECT_EQ(before + 1, OutstandingObjects);
    a->Release();
    EXPECT_EQ(before, OutstandingObjects);
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST(ClassFactory, UnknownClassAndInterface)
{
    void *out = (void *)1;
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = (void *)1;
    LONG before = OutstandingObjects;
    EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_QuorvaneShellex, IID_IContextMenu, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(before, OutstandingObjects);
    IUnknown *unknown = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_QuorvaneShellex, IID_IUnknown, (void **)&unknown));
    ASSERT_NE(nullptr, unknown);
    unknown->Release();
    EXPECT_EQ(E_POINTER, DllGetClassObject(CLSID_QuorvaneShellex, IID_IClassFactory, nullptr));
}

TEST(ClassFactory, CanUnloadTracksLocksObjectsAndHooks)
{
    ASSERT_EQ(S_OK, DllCanUnloadNow());
    IClassFactory *factory = get_factory();
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    factory = get_factory();
    factory->LockServer(FALSE);
    IContextMenu *menu = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IContextMenu, (void **)&menu));
    factory->Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    menu->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());

    // The hooks of a reserved menu keep it loaded: their procedures live in it.
    HMENU popup = CreatePopupMenu();
    qv_menu_session session = {};
    qv_item_list none = {};
    qv_config config = default_settings();
    ASSERT_TRUE(session_start(&session, {&none, &config, L"C:", true}, popup, 100, 120, 0));
    EXPECT_EQ(2, menu_hook_count());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    session_end(&session);
    EXPECT_EQ(0, menu_hook_count());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
    DestroyMenu(popup);
}

TEST(ClassFactory, UnlockWithoutLockKeepsModule)
{
    IClassFactory *factory = get_factory();
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(-1, OutstandingObjects);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    factory = get_factory();
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(0, OutstandingObjects);

    // A stray unlock brings the count to zero while an object lives: the
    // object still keeps the module.
    qv_shellex *object = qv_shellex::create();
    factory = get_factory();
    factory->LockServer(FALSE);
    factory->Release();
    EXPECT_EQ(0, OutstandingObjects);
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    object->Release();
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the count is below zero now";
    factory = get_factory();
    factory->LockServer(TRUE);
    factory->Release();
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

TEST(ClassFactory, CreateInstanceRefusals)
{
    IClassFactory *factory = get_factory();
    LONG before = OutstandingObjects;
    void *out = (void *)1;
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(before, OutstandingObjects);
    out = (void *)1;
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance((IUnknown *)factory, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(before, OutstandingObjects);
    factory->Release();
}

TEST(ExtensionObject, OnlyTheOwnerOfTheMenuTakesTheHooksAlong)
{
    qv_shellex *owner = qv_shellex::create();
    qv_shellex *other = qv_shellex::create();
    HMENU popup = CreatePopupMenu();
    ASSERT_TRUE(reserve_menu(owner, popup, 100, 120));
    // An older object released late, and an object that CreateInstance
    // destroys at once, leave the newer menu its hooks.
    other->Release();
    IClassFactory *factory = get_factory();
    void *out;
    factory->CreateInstance(nullptr, IID_IClassFactory, &out);
    factory->Release();
    EXPECT_EQ(2, menu_hook_count());
    EXPECT_EQ(GetCurrentThreadId(), owner->session.thread_id);
    owner->Release();
    EXPECT_EQ(0, menu_hook_count());
    EXPECT_EQ(0, OutstandingObjects);
    DestroyMenu(popup);
}

TEST(ExtensionObject, TwoInterfacesOneIdentityOneCount)
{
    qv_shellex *object = qv_shellex::create();
    ASSERT_NE(nullptr, object);
    IUnknown *unknown = nullptr;
    IShellExtInit *init = nullptr;
    IContextMenu *menu = nullptr;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IUnknown, (void **)&unknown));
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IShellExtInit, (void **)&init));
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, (void **)&menu));
    EXPECT_EQ((void *)unknown, (void *)init);
    EXPECT_NE((void *)menu, (void *)init);
    EXPECT_EQ(4, object->refcount);

    // The IContextMenu side's IUnknown works on the same object and count.
    IUnknown *back = nullptr;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IUnknown, (void **)&back));
    EXPECT_EQ((void *)init, (void *)back);
    EXPECT_EQ(6u, menu->AddRef());
    EXPECT_EQ(5u, init->Release());
    void *none = (void *)1;
    EXPECT_EQ(E_NOINTERFACE, menu->QueryInterface(IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);

    back->Release();
    unknown->Release();
    init->Release();
    menu->Release();
    EXPECT_EQ(1, object->refcount);
    EXPECT_EQ(0u, object->Release());
}

TEST(ExtensionObject, UninitialisedObjectRefusesWork)
{
    qv_shellex *object = qv_shellex::create();
    EXPECT_FALSE(object->initialized());
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    EXPECT_EQ(0, HRESULT_CODE(object->QueryContextMenu(menu, 0, 100, 0x7fff, CMF_NORMAL)));
    EXPECT_EQ(1, GetMenuItemCount(menu));
    EXPECT_EQ(0u, object->session.thread_id);
    EXPECT_EQ(0, menu_hook_count());
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_TRUE(FAILED(object->InvokeCommand(&info)));
    DestroyMenu(menu);
    object->Release();
}
