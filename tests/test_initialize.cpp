// Initialize with real data objects, real shortcuts and the prefix's own
// desktop folder.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include "common/qv_shellex.h"
#include "extension/desktop_test.h"
#include "extension/shortcut.h"
#include "test_support.h"

namespace {

// A data object whose GetData fails with `result`, or, when `result`
// succeeds, hands out an HGLOBAL medium with a null handle.
class broken_data_object : public IDataObject {
public:
    explicit broken_data_object(HRESULT result) : refs_(1), result_(result) {}
    virtual ~broken_data_object() {}
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject))
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --refs_;
        if (!n)
            delete this;
        return n;
    }
    STDMETHODIMP GetData(FORMATETC *, STGMEDIUM *medium) override
    {
        calls++;
        if (SUCCEEDED(result_)) {
            medium->tymed = TYMED_HGLOBAL;
            medium->hGlobal = NULL;
            medium->pUnkForRelease = NULL;
        }
        return result_;
    }
    STDMETHODIMP GetDataHere(FORMATETC *, STGMEDIUM *) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC *) override { return S_OK; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC *, FORMATETC *) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC *, STGMEDIUM *, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC **) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC *, DWORD, IAdviseSink *, DWORD *) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA **) override { return OLE_E_ADVISENOTSUPPORTED; }
    int calls = 0;

private:
    ULONG refs_;
    HRESULT result_;
};

// Initializes `ext` with `data` and releases the data object.
HRESULT initialize(qv_shellex *ext, IDataObject *data)
{
    EXPECT_NE(nullptr, data);
    if (!data)
        return E_FAIL;
    HRESULT hr = ext->Initialize(NULL, data, NULL);
    data->Release();
    return hr;
}

HRESULT initialize_shell(qv_shellex *ext, const std::wstring &item)
{
    return initialize(ext, shell_data_object({item}));
}

HRESULT initialize_drop(qv_shellex *ext, const std::vector<std::wstring> &names)
{
    return initialize(ext, hdrop_data_object(names));
}

std::wstring desktop_folder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(NULL, CSIDL_DESKTOPDIRECTORY, NULL, SHGFP_TYPE_CURRENT, path);
    return path;
}

// A folder created on the user's desktop, removed with its content at the end.
class desktop_dir {
public:
    desktop_dir() : path_(desktop_folder() + L"\\qv-init-" + std::to_wstring(GetCurrentProcessId()))
    {
        make_dir(path_);
    }
    ~desktop_dir() { remove_tree(path_); }
    const std::wstring &path() const { return path_; }

private:
    std::wstring path_;
};

class initialization : public testing::Test {
protected:
    void SetUp() override { ext = qv_shellex::create(); }
    void TearDown() override { ext->Release(); }
    settings_scope settings;
    temp_dir dir;
    qv_shellex *ext = nullptr;
};

} // namespace

TEST_F(initialization, ShellSelectionOfAFolder)
{
    EXPECT_FALSE(ext->initialized());
    ASSERT_EQ(S_OK, initialize_shell(ext, dir.path()));
    EXPECT_TRUE(ext->initialized());
    EXPECT_EQ(0, _wcsicmp(dir.path().c_str(), ext->path)) << testing::PrintToString(std::wstring(ext->path));
    EXPECT_EQ(0u, ext->is_lnk);
    EXPECT_EQ(1u, ext->desktop_ok);
    EXPECT_EQ(100u, ext->config.MaxMenuItems);
    EXPECT_EQ(1u, ext->config.HideFileExtension);
}

TEST_F(initialization, OneTrailingBackslashGoesAndOnlyTheFirstItemCounts)
{
    ASSERT_EQ(S_OK, initialize_drop(ext, {L"D:\\"}));
    EXPECT_STREQ(L"D:", ext->path);
    ASSERT_EQ(S_OK, initialize_drop(ext, {L"D:\\\\"}));
    EXPECT_STREQ(L"D:\\", ext->path);

    std::wstring a = dir / L"a", b = dir / L"b", c = dir / L"c";
    make_dir(a), make_dir(b), make_dir(c);
    ASSERT_EQ(S_OK, initialize_drop(ext, {b, a, c}));
    EXPECT_EQ(b, ext->path);
    ASSERT_EQ(S_OK, initialize(ext, shell_data_object({a, b, c})));
    EXPECT_EQ(0, _wcsicmp(a.c_str(), ext->path));
}

TEST_F(initialization, FailuresBeforeTheDropListChangeNothing)
{
    ASSERT_EQ(S_OK, initialize_shell(ext, dir.path()));
    std::wstring before = ext->path;
    settings.set(L"MaxMenuItems", 7);
    ext->is_lnk = 5;
    ext->desktop_ok = 6;

    EXPECT_EQ(E_INVALIDARG, ext->Initialize(NULL, NULL, NULL));
    broken_data_object *failing = new broken_data_object(E_FAIL);
    failing->AddRef();
    EXPECT_EQ(E_INVALIDARG, initialize(ext, failing));
    EXPECT_EQ(1, failing->calls);
    failing->Release();
    EXPECT_EQ(E_INVALIDARG, initialize(ext, new broken_data_object(S_OK)));  // no handle to lock

    EXPECT_EQ(before, ext->path);
    EXPECT_EQ(100u, ext->config.MaxMenuItems);
    EXPECT_EQ(5u, ext->is_lnk);
    EXPECT_EQ(6u, ext->desktop_ok);
}

TEST_F(initialization, UnreadableOrOverlongFirstNameLeavesTheObjectUninitialised)
{
    // The platform counts a list whose first name is empty as non-empty.
    IDataObject *data = hdrop_data_object({L"", dir.path()});
    FORMATETC format = {CF_HDROP, NULL, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    ASSERT_EQ(S_OK, data->GetData(&format, &medium));
    ASSERT_NE(0u, DragQueryFileW((HDROP)medium.hGlobal, 0xFFFFFFFF, NULL, 0));
    ReleaseStgMedium(&medium);

    ASSERT_EQ(S_OK, initialize_shell(ext, dir.path()));
    ext->is_lnk = 1;
    settings.set(L"MaxMenuItems", 7);
    EXPECT_EQ(E_INVALIDARG, initialize(ext, data));
    EXPECT_STREQ(L"", ext->path);
    EXPECT_FALSE(ext->initialized());
    EXPECT_EQ(0u, ext->is_lnk);
    EXPECT_EQ(7u, ext->config.MaxMenuItems) << "the settings are still read afresh";

    // 259 characters fit with their NUL; 260 would be cut to a different path.
    std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 4, L'n');
    ASSERT_EQ(S_OK, initialize_drop(ext, {longest}));
    EXPECT_EQ(longest, ext->path);
    EXPECT_EQ(E_INVALIDARG, initialize_drop(ext, {longest + L"x"}));
    EXPECT_STREQ(L"", ext->path);
    ASSERT_EQ(S_OK, initialize_drop(ext, {longest}));
    EXPECT_EQ(E_INVALIDARG, initialize_drop(ext, {longest + std::wstring(300, L'x')}));
    EXPECT_STREQ(L"", ext->path);
}

TEST_F(initialization, ShortcutsAreRecognisedByName)
{
    // Neither file exists: a name of five characters ending in .lnk is still
    // taken for a shortcut and keeps its own path.
    ASSERT_EQ(S_OK, initialize_drop(ext, {L"x.LNK"}));
    EXPECT_STREQ(L"x.LNK", ext->path);
    EXPECT_EQ(1u, ext->is_lnk);
    ASSERT_EQ(S_OK, initialize_drop(ext, {L".lnk"}));
    EXPECT_STREQ(L".lnk", ext->path);
    EXPECT_EQ(0u, ext->is_lnk);

    WCHAR path[MAX_PATH];
    wcscpy(path, L"C:\\Tools.lnkx");
    EXPECT_EQ(0u, ConvertShortcutTarget(path));
    wcscpy(path, L"C:\\none\\Tools.Lnk");
    EXPECT_EQ(1u, ConvertShortcutTarget(path));
    EXPECT_STREQ(L"C:\\none\\Tools.Lnk", path);
}

TEST_F(initialization, RealShortcutResolvesToItsTarget)
{
    std::wstring target = dir / L"Target";
    std::wstring lnk = dir / L"Go to target.lnk";
    make_dir(target);
    ASSERT_TRUE(make_shortcut(lnk, target));
    ASSERT_EQ(S_OK, initialize_shell(ext, lnk));
    EXPECT_EQ(0, _wcsicmp(target.c_str(), ext->path)) << testing::PrintToString(std::wstring(ext->path));
    EXPECT_EQ(1u, ext->is_lnk);

    // The backslash is stripped before resolving: a drive root keeps its own.
    std::wstring root_lnk = dir / L"Drive.lnk";
    ASSERT_TRUE(make_shortcut(root_lnk, L"C:\\"));
    ASSERT_EQ(S_OK, initialize_drop(ext, {root_lnk}));
    EXPECT_STREQ(L"C:\\", ext->path);
    EXPECT_EQ(1u, ext->is_lnk);

    // A later plain folder clears is_lnk again.
    ASSERT_EQ(S_OK, initialize_shell(ext, target));
    EXPECT_EQ(0u, ext->is_lnk);
}

TEST_F(initialization, BrokenShortcutKeepsItsOwnPath)
{
    std::wstring lnk = dir / L"broken.lnk";
    ASSERT_TRUE(write_file(lnk, std::string("\x4c\0\0\0garbage, not a shell link at all", 37)));
    ASSERT_EQ(S_OK, initialize_drop(ext, {lnk}));
    EXPECT_EQ(lnk, ext->path);
    EXPECT_EQ(1u, ext->is_lnk);
}

TEST(DesktopTest, OnlyItemsDirectlyInTheDesktopFolderPass)
{
    const wchar_t *desktop = L"C:\\Users\\u\\Desktop";
    EXPECT_EQ(1u, desktop_test(L"C:\\Users\\u\\Desktop\\Tools", desktop));
    EXPECT_EQ(1u, desktop_test(L"C:\\Users\\u\\Desktop\\x", desktop));
    EXPECT_EQ(0u, desktop_test(L"C:\\Users\\u\\Desktop\\Tools\\Sub", desktop));
    EXPECT_EQ(0u, desktop_test(L"C:\\Users\\u\\Desktop", desktop));
    EXPECT_EQ(0u, desktop_test(L"C:\\Users\\u\\Desktop\\", desktop));
    EXPECT_EQ(0u, desktop_test(L"c:\\users\\u\\desktop\\Tools", desktop));
    EXPECT_EQ(0u, desktop_test(L"C:\\Users\\u\\DesktopTools", desktop));
    EXPECT_EQ(0u, desktop_test(L"C:\\Users\\u\\Desk", desktop));
    EXPECT_EQ(0u, desktop_test(L"", desktop));
    // A desktop that is a drive root gets a second backslash: nothing passes.
    EXPECT_EQ(0u, desktop_test(L"D:\\Tools", L"D:\\"));

    // Desktop paths that fill their MAX_PATH buffer are compared in place.
    std::wstring long_desktop = L"C:\\" + std::wstring(246, L'd');
    EXPECT_EQ(1u, desktop_test((long_desktop + L"\\ab").c_str(), long_desktop.c_str()));
    std::wstring longest_desktop = L"C:\\" + std::wstring(MAX_PATH - 4, L'd');
    EXPECT_EQ(0u, desktop_test(longest_desktop.c_str(), longest_desktop.c_str()));
    EXPECT_EQ(0u, desktop_test((longest_desktop.substr(0, 250) + L"\\x").c_str(), longest_desktop.c_str()));
}

TEST_F(initialization, RealDesktopFolderDecidesWhenOnlyAllowedOnDesktop)
{
    std::wstring desktop = desktop_folder();
    ASSERT_FALSE(desktop.empty());
    desktop_dir on_desktop;
    std::wstring sub = on_desktop.path() + L"\\Sub";
    ASSERT_TRUE(make_dir(sub));
    std::wstring lnk = on_desktop.path() + L".lnk";
    ASSERT_TRUE(make_shortcut(lnk, dir.path()));
    struct remove_lnk {
        std::wstring path;
        ~remove_lnk() { DeleteFileW(path.c_str()); }
    } lnk_guard{lnk};

    settings.set(L"OnlyAllowedOnDesktop", 1);
    ASSERT_EQ(S_OK, initialize_shell(ext, on_desktop.path()));
    EXPECT_EQ(1u, ext->desktop_ok) << testing::PrintToString(std::wstring(ext->path));
    ASSERT_EQ(S_OK, initialize_shell(ext, sub));
    EXPECT_EQ(0u, ext->desktop_ok);
    ASSERT_EQ(S_OK, initialize_drop(ext, {desktop}));
    EXPECT_EQ(0u, ext->desktop_ok);
    ASSERT_EQ(S_OK, initialize_shell(ext, dir.path()));
    EXPECT_EQ(0u, ext->desktop_ok);

    // The shortcut's own location is tested, then it is resolved.
    ASSERT_EQ(S_OK, initialize_shell(ext, lnk));
    EXPECT_EQ(1u, ext->desktop_ok);
    EXPECT_EQ(1u, ext->is_lnk);
    EXPECT_EQ(0, _wcsicmp(dir.path().c_str(), ext->path));

    // Switched off between two calls: every item passes.
    settings.set(L"OnlyAllowedOnDesktop", 0);
    ASSERT_EQ(S_OK, initialize_shell(ext, sub));
    EXPECT_EQ(1u, ext->desktop_ok);
    EXPECT_EQ(0u, ext->config.OnlyAllowedOnDesktop);
}

TEST_F(initialization, EveryCallRewritesPathAndSettings)
{
    std::wstring a = dir / L"a", b = dir / L"b";
    make_dir(a), make_dir(b);
    settings.set(L"MaxMenuItems", 5);
    ASSERT_EQ(S_OK, initialize_shell(ext, a));
    EXPECT_EQ(5u, ext->config.MaxMenuItems);
    EXPECT_EQ(0u, ext->config.HideItemLogo);

    settings.set(L"MaxMenuItems", 9);
    settings.set(L"HideItemLogo", 1);
    ASSERT_EQ(S_OK, initialize_shell(ext, b));
    EXPECT_EQ(0, _wcsicmp(b.c_str(), ext->path));
    EXPECT_EQ(9u, ext->config.MaxMenuItems);
    EXPECT_EQ(1u, ext->config.HideItemLogo);

    reg_delete_tree(HKEY_LOCAL_MACHINE, L"Software\\Quorvane\\Shellex");
    ASSERT_EQ(S_OK, initialize_shell(ext, a));
    EXPECT_EQ(0, _wcsicmp(a.c_str(), ext->path));
    EXPECT_EQ(100u, ext->config.MaxMenuItems);
    EXPECT_EQ(0u, ext->config.HideItemLogo);
}
