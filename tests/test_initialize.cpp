// Initialize with real data objects, real shortcuts and the prefix's own
// desktop folder.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include "extension/qv_shellex.h"
#include "extension/desktop_test.h"
#include "listing/shortcut.h"
#include "test_support.h"

namespace {

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
    int calls = 0;
    EXPECT_EQ(E_INVALIDARG, initialize(ext, supplied_data_object([&](STGMEDIUM *) {
                                           calls++;
                                           return E_FAIL;
                                       })));
    EXPECT_EQ(1, calls);
    // No handle to lock.
    EXPECT_EQ(E_INVALIDARG, initialize(ext, supplied_data_object([](STGMEDIUM *medium) {
                                           *medium = {TYMED_HGLOBAL, {}, nullptr};
                                           return S_OK;
                                       })));

    EXPECT_EQ(before, ext->path);
    EXPECT_EQ(100u, ext->config.MaxMenuItems);
    EXPECT_EQ(5u, ext->is_lnk);
    EXPECT_EQ(6u, ext->desktop_ok);
}

// An HGLOBAL holding `block` (a header and its list) whose list ends exactly
// where the committed memory ends, so that a read past it faults.  Null when
// the heap will not place a block so.
HGLOBAL block_at_end_of_memory(const std::string &block)
{
    // Large blocks get pages of their own: find the slack after one, then ask
    // for a block that fills it.
    SIZE_T size = 1 << 20;
    std::vector<HGLOBAL> tried;
    HGLOBAL found = NULL;
    for (int attempt = 0; attempt < 8 && !found; attempt++) {
        HGLOBAL memory = GlobalAlloc(GMEM_FIXED, size);
        MEMORY_BASIC_INFORMATION info, after;
        if (!memory || !VirtualQuery(memory, &info, sizeof(info)))
            break;
        BYTE *end = (BYTE *)info.BaseAddress + info.RegionSize;
        SIZE_T slack = end - ((BYTE *)memory + size);
        bool faults = !VirtualQuery(end, &after, sizeof(after)) || after.State != MEM_COMMIT;
        if (slack == 0 && faults)
            found = memory;
        else
            tried.push_back(memory);
        size += slack;
    }
    for (HGLOBAL memory : tried)
        GlobalFree(memory);
    if (found) {
        SIZE_T list_bytes = block.size() - sizeof(DROPFILES);
        memcpy(found, block.data(), sizeof(DROPFILES));
        ((DROPFILES *)found)->pFiles = (DWORD)(size - list_bytes);
        memcpy((BYTE *)found + size - list_bytes, block.data() + sizeof(DROPFILES), list_bytes);
    }
    return found;
}

TEST_F(initialization, DropListsFromOtherProgramsAreCheckedBeforeUse)
{
    write_file(dir / L"a.txt");
    ASSERT_EQ(S_OK, initialize_shell(ext, dir.path()));
    HMENU menu = CreatePopupMenu();
    ASSERT_EQ(11, HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
    const std::wstring before = ext->path;
    const UINT64 listed = ext->list.entry_count;
    ext->config.MaxMenuItems = 12345;  // a reload would bring back the default

    // A list without its closing NULs, up to the last byte of the memory.
    std::string open_list = drop_block({L"C:\\x"});
    open_list.resize(open_list.size() - 2 * sizeof(wchar_t));
    open_list += std::string(64, 'A');
    HGLOBAL at_end = block_at_end_of_memory(open_list);
    ASSERT_NE(nullptr, at_end) << "no block could be placed at the end of its memory";
    std::string header(sizeof(DROPFILES), '\0');
    DROPFILES *fields = (DROPFILES *)&header[0];
    fields->fWide = TRUE;
    fields->pFiles = 4096;
    IStream *stream = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(NULL, TRUE, &stream));
    struct {
        const char *what;
        IDataObject *data;
    } cases[] = {
        {"unterminated at the end of memory", supplied_data_object([&](STGMEDIUM *medium) {
             *medium = {TYMED_HGLOBAL, {}, nullptr};
             medium->hGlobal = at_end;
             at_end = NULL;  // handed over once; the callee frees it
             return S_OK;
         })},
        {"a stream", supplied_data_object([&](STGMEDIUM *medium) {
             *medium = {TYMED_ISTREAM, {}, nullptr};
             medium->pstm = stream;
             stream->AddRef();
             return S_OK;
         })},
        {"pFiles beyond the block", hglobal_data_object(header)},
        {"smaller than a header", hglobal_data_object(header.substr(0, sizeof(DROPFILES) - 1))},
        {"unterminated", hglobal_data_object(open_list)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(E_INVALIDARG, initialize(ext, c.data)) << c.what;
        EXPECT_EQ(before, ext->path) << c.what;
        EXPECT_EQ(12345u, ext->config.MaxMenuItems) << c.what;
        EXPECT_EQ(listed, ext->list.entry_count) << c.what;
    }
    stream->AddRef();
    EXPECT_EQ(1u, stream->Release()) << "the stream medium was released";
    stream->Release();

    // An ANSI list, as older programs make it, still works.
    std::string ansi(sizeof(DROPFILES), '\0');
    ((DROPFILES *)&ansi[0])->pFiles = sizeof(DROPFILES);
    std::string other = std::string(dir.path().begin(), dir.path().end()) + "\\a.txt";
    ansi += other + '\0' + '\0';
    EXPECT_EQ(S_OK, initialize(ext, hglobal_data_object(ansi)));
    EXPECT_EQ(std::wstring(other.begin(), other.end()), ext->path);
    DestroyMenu(menu);
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

// Asks `ext` for a menu with `flags`; returns how many identifiers it took.
static UINT query(qv_shellex *ext, UINT flags = CMF_NORMAL)
{
    HMENU menu = CreatePopupMenu();
    HRESULT hr = ext->QueryContextMenu(menu, 0, 1, 0x7FFF, flags);
    DestroyMenu(menu);
    return SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
}

// Initialize only notes the shortcut: it is read when a menu is asked for,
// and a double-click, which asks only for the default verb, never reads it.
TEST_F(initialization, RealShortcutResolvesToItsTargetWhenAMenuIsAskedFor)
{
    std::wstring target = dir / L"Target";
    std::wstring lnk = dir / L"Go to target.lnk";
    make_dir(target);
    write_file(target + L"\\inside.txt");
    ASSERT_TRUE(make_shortcut(lnk, target));
    ASSERT_EQ(S_OK, initialize_shell(ext, lnk));
    EXPECT_EQ(0, _wcsicmp(lnk.c_str(), ext->path)) << "not read yet";
    EXPECT_EQ(1u, ext->is_lnk);
    EXPECT_EQ(0u, query(ext, CMF_DEFAULTONLY));
    EXPECT_EQ(0, _wcsicmp(lnk.c_str(), ext->path)) << "a double-click reads nothing";
    EXPECT_EQ(1u, ext->link_pending);
    EXPECT_GT(query(ext), 0u);
    EXPECT_EQ(0, _wcsicmp(target.c_str(), ext->path)) << testing::PrintToString(std::wstring(ext->path));
    EXPECT_EQ(1u, ext->is_lnk);
    EXPECT_EQ(0u, ext->link_pending);

    // The backslash is stripped before resolving: a drive root keeps its own.
    std::wstring root_lnk = dir / L"Drive.lnk";
    ASSERT_TRUE(make_shortcut(root_lnk, L"C:\\"));
    ASSERT_EQ(S_OK, initialize_drop(ext, {root_lnk}));
    query(ext);
    EXPECT_STREQ(L"C:\\", ext->path);
    EXPECT_EQ(1u, ext->is_lnk);

    // A later plain folder clears is_lnk again.
    ASSERT_EQ(S_OK, initialize_shell(ext, target));
    EXPECT_EQ(0u, ext->is_lnk);
    EXPECT_EQ(0u, ext->link_pending);
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
    query(ext);
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
