// Filling of a real menu from a listed object: the "| NORMAL |" submenu,
// entries with bitmaps, hidden extensions, columns, identifiers, the logo.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "menu/thread_menus.h"
#include "extension/qv_shellex.h"
#include "menu/menu_population.h"
#include "gdi_objects.h"
#include "test_support.h"

namespace {

int screen_height = 1080;
int menu_height = 19;

int WINAPI fake_metrics(int index)
{
    if (index == SM_CYSCREEN)
        return screen_height;
    if (index == SM_CYMENU)
        return menu_height;
    return GetSystemMetrics(index);
}

struct menu_item {
    UINT id = 0;
    UINT type = 0;
    UINT state = 0;
    HMENU submenu = NULL;
    HBITMAP bitmap = NULL;
    ULONG_PTR data = 0;
    std::wstring text;
};

menu_item read_item(HMENU menu, int position)
{
    wchar_t text[1024] = L"";
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_DATA | MIIM_STRING | MIIM_BITMAP | MIIM_FTYPE;
    info.dwTypeData = text;
    info.cch = 1024;
    menu_item item;
    EXPECT_TRUE(GetMenuItemInfoW(menu, position, TRUE, &info)) << "position " << position;
    item.id = info.wID;
    item.type = info.fType;
    item.state = info.fState;
    item.submenu = info.hSubMenu;
    item.bitmap = info.hbmpItem;
    item.data = info.dwItemData;
    item.text = text;
    return item;
}

std::wstring entry_name(int i)
{
    return L"e" + std::to_wstring(i);
}

class population : public testing::Test {
protected:
    void SetUp() override
    {
        screen_height = 1080;
        menu_height = 19;
        g_menu_metrics = fake_metrics;
        ext = qv_shellex::create();
        wcscpy(ext->path, L"C:\\Tools");
        ext->config = default_settings();
        ext->is_dir = 1;
        ext->is_lnk = 0;
        ext->desktop_ok = 1;
        menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"Open");
        AppendMenuW(menu, MF_STRING, 2, L"Properties");
    }
    void TearDown() override
    {
        thread_menus_drop_thread();
        g_menu_metrics = GetSystemMetrics;
        ext->Release();
        DestroyMenu(menu);
    }
    void add(const std::wstring &name, int icon = QV_NO_ICON)
    {
        ASSERT_TRUE(list_append_name(&ext->list, name.c_str(), name.size()));
        ext->list.entries[ext->list.entry_count - 1].icon = icon;
    }
    void add_many(int n)
    {
        for (int i = 0; i < n; i++)
            add(entry_name(i));
    }
    void clear()
    {
        list_clear(&ext->list);
        closed = false;
        while (GetMenuItemCount(menu) > 0)
            DeleteMenu(menu, 0, MF_BYPOSITION);
    }
    // Closes the listing with its sentinel (once) and fills the menu with
    // the identifier block [first, last).
    void populate(UINT first, UINT last)
    {
        if (!closed) {
            list_append_ansi(&ext->list, "");
            ext->list.entry_count--;
            closed = true;
        }
        ASSERT_TRUE(reserve_menu(ext, menu, first, last));
        populate_menu(&ext->session, menu);
        // No item may carry an identifier of another handler.
        for (int i = 0; i < GetMenuItemCount(menu); i++) {
            menu_item item = read_item(menu, i);
            if (item.id != 0) {
                EXPECT_GE(item.id, first) << "position " << i;
                EXPECT_LT(item.id, last) << "position " << i;
            }
        }
    }
    std::vector<int> column_starts()
    {
        std::vector<int> starts;
        for (int i = 0; i < GetMenuItemCount(menu); i++)
            if (read_item(menu, i).type & MFT_MENUBARBREAK)
                starts.push_back(i);
        return starts;
    }
    qv_shellex *ext = NULL;
    HMENU menu = NULL;
    bool closed = false;
};

TEST_F(population, NormalEntriesAndLogoWithTheirIdentifiers)
{
    add(L"a.exe");
    add(L"Docs");
    add(L"readme.txt");
    populate(100, 113);
    ASSERT_EQ(5, GetMenuItemCount(menu));
    EXPECT_EQ(5, ext->session.fill.inserted);
    EXPECT_EQ(menu, ext->session.fill.menu);
    EXPECT_EQ(50, ext->session.fill.per_column);

    menu_item normal = read_item(menu, 0);
    EXPECT_EQ(QV_NORMAL_TEXT, normal.text);
    EXPECT_EQ(104u, normal.id);
    ASSERT_TRUE(IsMenu(normal.submenu));
    EXPECT_EQ(2, GetMenuItemCount(normal.submenu));
    EXPECT_EQ(1u, read_item(normal.submenu, 0).id);
    EXPECT_EQ(L"Properties", read_item(normal.submenu, 1).text);

    const wchar_t *names[] = {L"a.exe", L"Docs", L"readme.txt"};
    for (int j = 0; j < 3; j++) {
        menu_item entry = read_item(menu, 1 + j);
        EXPECT_EQ(names[j], entry.text);
        EXPECT_EQ(100u + j, entry.id);
        EXPECT_EQ((UINT)MFT_STRING, entry.type);
        EXPECT_EQ(nullptr, entry.submenu);
    }
    menu_item logo = read_item(menu, 4);
    EXPECT_EQ(L"| quorvane-shellex-3.0 |", logo.text);
    EXPECT_EQ(103u, logo.id);
}

TEST_F(population, ColumnsBreakEveryPerColumnItems)
{
    add_many(102);
    populate(1000, 1000 + 102 + 10);
    EXPECT_EQ(1080 / 20 - 4, ext->session.fill.per_column);
    ASSERT_EQ(104, GetMenuItemCount(menu));
    EXPECT_EQ((std::vector<int>{50, 100}), column_starts());
    EXPECT_EQ(entry_name(49), read_item(menu, 50).text);
    EXPECT_EQ(L"| quorvane-shellex-3.0 |", read_item(menu, 103).text);
    EXPECT_EQ(1102u, read_item(menu, 103).id);
}

TEST_F(population, ColumnHeightBelowOneGivesOneItemPerColumn)
{
    // 100 / 20 - 4 = 1, 80 / 20 - 4 = 0, 60 / 20 - 4 = -1; a failing
    // metric of -1 must not divide by zero either.
    const int screens[][2] = {{100, 19}, {80, 19}, {60, 19}, {0, -1}};
    for (const auto &s : screens) {
        screen_height = s[0];
        menu_height = s[1];
        clear();
        add_many(3);
        populate(100, 113);
        EXPECT_EQ((std::vector<int>{1, 2, 3, 4}), column_starts()) << "screen " << s[0];
    }
    EXPECT_EQ(-4, ext->session.fill.per_column);
}

TEST_F(population, InsertItemClampsTheColumnHeight)
{
    qv_menu_fill fill = {menu, 0, 0};
    for (int per_column : {0, -3}) {
        fill.per_column = per_column;
        fill.inserted = 0;
        for (int i = 0; i < 3; i++) {
            MENUITEMINFOW item = {};
            item.cbSize = sizeof(item);
            item.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
            item.wID = 50 + i;
            item.dwTypeData = (wchar_t *)L"x";
            EXPECT_TRUE(insert_item(&fill, &item));
            EXPECT_EQ(i == 0 ? 0u : (UINT)MFT_MENUBARBREAK, item.fType & MFT_MENUBARBREAK);
        }
        EXPECT_EQ(3, fill.inserted);
        EXPECT_EQ(50u, read_item(menu, 0).id) << "inserted by position";
    }
}

TEST_F(population, HiddenLnkExtensionsAndPoolRestored)
{
    const wchar_t *names[] = {L"Notes.lnk", L"a.b.lnk", L"X.LNK", L"report.txt", L".lnk"};
    const wchar_t *shown[] = {L"Notes", L"a.b", L"X", L"report.txt", L".lnk"};
    for (const wchar_t *n : names)
        add(n);
    populate(100, 115);
    for (int j = 0; j < 5; j++) {
        EXPECT_EQ(shown[j], read_item(menu, 1 + j).text);
        EXPECT_EQ(names[j], std::wstring(list_name(&ext->list, j))) << "the pool keeps the full name";
    }
}

TEST_F(population, EveryExtensionHiddenInModeTwo)
{
    const wchar_t *names[] = {L"report.txt", L"archive.tar.gz", L".gitignore", L"Makefile", L"..", L"."};
    const wchar_t *shown[] = {L"report", L"archive.tar", L".gitignore", L"Makefile", L".", L"."};
    for (const wchar_t *n : names)
        add(n);
    std::vector<wchar_t> pool_before(ext->list.pool, ext->list.pool + ext->list.pool_used);
    ext->config.HideFileExtension = 2;
    populate(100, 116);
    for (int j = 0; j < 6; j++)
        EXPECT_EQ(shown[j], read_item(menu, 1 + j).text) << j;
    EXPECT_EQ(0, memcmp(pool_before.data(), ext->list.pool, pool_before.size() * sizeof(wchar_t)));
}

TEST_F(population, ModeZeroShowsNamesWhole)
{
    add(L"Notes.lnk");
    add(L"report.txt");
    ext->config.HideFileExtension = 0;
    populate(100, 112);
    EXPECT_EQ(L"Notes.lnk", read_item(menu, 1).text);
    EXPECT_EQ(L"report.txt", read_item(menu, 2).text);
}

// The system image list's index of the small icon of a name's type.
int type_icon(const wchar_t *name, DWORD attributes)
{
    SHFILEINFOW info = {};
    SHGetFileInfoW(name, attributes, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    return info.iIcon;
}

// One picture per distinct icon, shared by the entries that show it, through
// hbmpItem, and deleted once with the object's menu session.
TEST_F(population, EntryPicturesOnePerDistinctIcon)
{
    int text = type_icon(L"a.txt", FILE_ATTRIBUTE_NORMAL), folder = type_icon(L"d", FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_NE(text, folder);
    add(L"with.txt", text);
    add(L"without.txt");
    add(L"also.txt", text);
    add(L"dir", folder);
    qv_menu_pictures warm = {};  // the shell's image list, made once
    picture_of(&warm, text);
    pictures_clear(&warm);
    long gdi = live_gdi_objects();
    populate(100, 114);
    EXPECT_EQ(gdi + 2, live_gdi_objects());
    HBITMAP picture = read_item(menu, 1).bitmap;
    ASSERT_NE(nullptr, picture);
    DIBSECTION dib = {};
    ASSERT_EQ((int)sizeof(dib), GetObjectW(picture, sizeof(dib), &dib));
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), dib.dsBmih.biWidth);
    EXPECT_EQ(32, dib.dsBmih.biBitCount);
    EXPECT_EQ(nullptr, read_item(menu, 2).bitmap);
    EXPECT_EQ(picture, read_item(menu, 3).bitmap);
    EXPECT_NE(nullptr, read_item(menu, 4).bitmap);
    EXPECT_NE(picture, read_item(menu, 4).bitmap);
    EXPECT_EQ((UINT)MFT_STRING, read_item(menu, 1).type) << "a string item with a picture, not MFT_BITMAP";
    session_end(&ext->session);
    EXPECT_EQ(0u, GetObjectType(picture));
    EXPECT_EQ(gdi, live_gdi_objects());
}

TEST_F(population, NormalSubmenuKeepsTheShellsItems)
{
    HMENU nested = CreatePopupMenu();
    AppendMenuW(nested, MF_STRING, 7, L"Inner");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING | MF_GRAYED | MF_CHECKED, 3, L"Disabled");
    AppendMenuW(menu, MF_POPUP, (UINT_PTR)nested, L"Send to");
    HBITMAP picture = CreateBitmap(16, 16, 1, 32, NULL);
    MENUITEMINFOW extra = {};
    extra.cbSize = sizeof(extra);
    extra.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA | MIIM_BITMAP;
    extra.wID = 4;
    extra.dwItemData = 0xC0FFEE;
    extra.hbmpItem = picture;
    extra.dwTypeData = (wchar_t *)L"With data";
    InsertMenuItemW(menu, 5, TRUE, &extra);

    add(L"a.exe");
    populate(100, 111);
    ASSERT_EQ(3, GetMenuItemCount(menu));
    HMENU normal = read_item(menu, 0).submenu;
    ASSERT_EQ(6, GetMenuItemCount(normal));
    const wchar_t *texts[] = {L"Open", L"Properties", L"", L"Disabled", L"Send to", L"With data"};
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(texts[i], read_item(normal, i).text) << i;
    EXPECT_TRUE(read_item(normal, 2).type & MFT_SEPARATOR);
    menu_item disabled = read_item(normal, 3);
    EXPECT_EQ(3u, disabled.id);
    EXPECT_TRUE(disabled.state & MFS_GRAYED);
    EXPECT_TRUE(disabled.state & MFS_CHECKED);
    menu_item with_data = read_item(normal, 5);
    EXPECT_EQ(4u, with_data.id);
    EXPECT_EQ((ULONG_PTR)0xC0FFEE, with_data.data);
    EXPECT_EQ(picture, with_data.bitmap);

    // The nested submenu moved as it is and still works.
    menu_item send_to = read_item(normal, 4);
    EXPECT_EQ(nested, send_to.submenu);
    ASSERT_TRUE(IsMenu(nested));
    EXPECT_EQ(1, GetMenuItemCount(nested));
    EXPECT_EQ(7u, read_item(nested, 0).id);
    EXPECT_TRUE(AppendMenuW(nested, MF_STRING, 8, L"More"));
    EXPECT_EQ(MF_ENABLED, (int)GetMenuState(menu, 8, MF_BYCOMMAND)) << "found by command through both levels";
    DeleteObject(picture);
}

TEST_F(population, HiddenShellItemsLeaveEntriesAndLogo)
{
    HMENU nested = CreatePopupMenu();
    AppendMenuW(nested, MF_STRING, 7, L"Inner");
    AppendMenuW(menu, MF_POPUP, (UINT_PTR)nested, L"Send to");
    ext->config.HideItemNormalOnDesktop = 1;
    screen_height = 180;  // 180 / 20 - 4 = 5 per column
    add_many(12);
    populate(100, 122);
    ASSERT_EQ(13, GetMenuItemCount(menu));
    EXPECT_EQ(entry_name(0), read_item(menu, 0).text);
    EXPECT_EQ(100u, read_item(menu, 0).id);
    EXPECT_EQ(L"| quorvane-shellex-3.0 |", read_item(menu, 12).text);
    EXPECT_EQ((std::vector<int>{5, 10}), column_starts());
    EXPECT_FALSE(IsMenu(nested)) << "deleted with its item";
}

TEST_F(population, HideRuleFollowsTheDesktopFlag)
{
    // On the desktop only HideItemNormalOnDesktop counts.
    ext->config.HideItemNormalOnExplorer = 1;
    add(L"a.exe");
    populate(100, 111);
    EXPECT_EQ(QV_NORMAL_TEXT, read_item(menu, 0).text);

    while (GetMenuItemCount(menu) > 0)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    ext->desktop_ok = 0;
    populate(100, 111);
    ASSERT_EQ(2, GetMenuItemCount(menu));
    EXPECT_EQ(L"a.exe", read_item(menu, 0).text);
}

TEST_F(population, ReservedBlockCutsEntriesAndOmitsOutsideIdentifiers)
{
    add_many(7);
    populate(100, 104);
    // Entries 100..103 only; the logo (107) and "| NORMAL |" (108) would lie
    // beyond the block: no logo, and a submenu item without identifier.
    ASSERT_EQ(5, GetMenuItemCount(menu));
    EXPECT_EQ(QV_NORMAL_TEXT, read_item(menu, 0).text);
    EXPECT_EQ(0u, read_item(menu, 0).id);
    EXPECT_TRUE(IsMenu(read_item(menu, 0).submenu));
    for (int j = 0; j < 4; j++)
        EXPECT_EQ(100u + j, read_item(menu, 1 + j).id);
    EXPECT_EQ(entry_name(3), read_item(menu, 4).text);
}

TEST_F(population, LogoAndNormalIdentifiersAtTheBlocksEnd)
{
    add_many(3);
    populate(100, 104);  // room for the logo (103), not for "| NORMAL |" (104)
    ASSERT_EQ(5, GetMenuItemCount(menu));
    EXPECT_EQ(0u, read_item(menu, 0).id);
    EXPECT_EQ(103u, read_item(menu, 4).id);
    EXPECT_EQ(L"| quorvane-shellex-3.0 |", read_item(menu, 4).text);

    while (GetMenuItemCount(menu) > 0)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    populate(100, 105);
    EXPECT_EQ(104u, read_item(menu, 0).id);
}

TEST_F(population, HideItemLogo)
{
    add_many(2);
    ext->config.HideItemLogo = 1;
    populate(100, 112);
    ASSERT_EQ(3, GetMenuItemCount(menu));
    EXPECT_EQ(entry_name(1), read_item(menu, 2).text);
}

}  // namespace
