// Menu bitmaps: the two pixel passes on plain memory, the mask read through
// GDI, and whole conversions through the real theme library and stand-ins.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>
#include <shellapi.h>
#include <set>
#include <vector>
#include "extension/qv_shellex.h"
#include "listing/folder_listing.h"
#include "listing/item_pictures.h"
#include "menu/menu_bitmap.h"
#include "menu/menu_pictures.h"
#include "gdi_objects.h"
#include "mixed_folder.h"
#include "test_support.h"

namespace {

const UINT32 GAP = 0xFF5A5A5A;  // a value with alpha, outside the icon's columns

SIZE small_icon_size()
{
    return SIZE{GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
}

// A cx * cy icon from top-down 32-bit colour pixels and a top-down AND mask
// (true = masked).
HICON make_icon(int cx, int cy, const std::vector<UINT32> &colour, const std::vector<bool> &masked)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = cx;
    info.bmiHeader.biHeight = -cy;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP colour_bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    memcpy(bits, colour.data(), colour.size() * sizeof(UINT32));

    int stride = (cx + 15) / 16 * 2;  // CreateBitmap rows are word-aligned
    std::vector<BYTE> mask_bits(stride * cy, 0);
    for (int y = 0; y < cy; y++)
        for (int x = 0; x < cx; x++)
            if (masked[y * cx + x])
                mask_bits[y * stride + x / 8] |= 0x80 >> (x % 8);
    HBITMAP mask_bitmap = CreateBitmap(cx, cy, 1, 1, mask_bits.data());

    ICONINFO icon_info = {TRUE, 0, 0, mask_bitmap, colour_bitmap};
    HICON icon = CreateIconIndirect(&icon_info);
    DeleteObject(colour_bitmap);
    DeleteObject(mask_bitmap);
    return icon;
}

// A small-icon-sized icon of one colour, with nothing masked.
HICON plain_icon(UINT32 colour)
{
    SIZE size = small_icon_size();
    int n = size.cx * size.cy;
    return make_icon(size.cx, size.cy, std::vector<UINT32>(n, colour), std::vector<bool>(n, false));
}

// The pixels of a 32-bpp DIB section, top row first.
std::vector<UINT32> top_down_pixels(HBITMAP bitmap)
{
    DIBSECTION dib = {};
    EXPECT_EQ((int)sizeof(dib), GetObjectW(bitmap, sizeof(dib), &dib));
    GdiFlush();
    int cx = dib.dsBm.bmWidth, cy = dib.dsBm.bmHeight;
    std::vector<UINT32> pixels(cx * cy);
    const UINT32 *bits = (const UINT32 *)dib.dsBm.bmBits;
    for (int y = 0; y < cy; y++)  // memory rows run bottom-up
        memcpy(&pixels[y * cx], bits + (cy - 1 - y) * cx, cx * sizeof(UINT32));
    return pixels;
}

int theme_loads()
{
    wchar_t text[16] = L"0";
    GetEnvironmentVariableW(L"QV_THEME_LOADS", text, 16);
    return _wtoi(text);
}

// Points the conversion at another theme library for one test: by its full
// path beside the test program, or by its bare name.
class theme_library_scope {
public:
    explicit theme_library_scope(const wchar_t *name, bool by_name = false)
        : path_(by_name ? name : test_bin_dir() + L"\\" + name), saved_(g_theme_library)
    {
        g_theme_library = path_.c_str();
    }
    ~theme_library_scope() { g_theme_library = saved_; }

private:
    std::wstring path_;
    const wchar_t *saved_;
};

}  // namespace

TEST(PixelPasses, AlphaScanLooksOnlyAtIconColumns)
{
    // 3 x 2 icon in rows of 5: the two gap pixels of each row carry alpha.
    std::vector<UINT32> buffer = {1, 2, 3, GAP, GAP, 4, 5, 6, GAP, GAP};
    EXPECT_FALSE(pixels_carry_alpha(buffer.data(), 3, 2, 5));
    buffer[7] = 0x01000006;  // last icon pixel of the second row
    EXPECT_TRUE(pixels_carry_alpha(buffer.data(), 3, 2, 5));
    // Rows lie cx_row apart: index 2 is a gap pixel, not the second row's first.
    std::vector<UINT32> narrow = {1, 2, 0xFF000000, 4, 5, 6};
    EXPECT_FALSE(pixels_carry_alpha(narrow.data(), 2, 2, 3));
}

TEST(PixelPasses, AlphaScanStopsAtFirstAlpha)
{
    // The alpha pixel is the last readable word before an inaccessible page:
    // a scan that went on would fault.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    DWORD page = system.dwPageSize;
    BYTE *memory = (BYTE *)VirtualAlloc(NULL, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(nullptr, memory);
    DWORD old;
    ASSERT_TRUE(VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
    UINT32 *pixels = (UINT32 *)(memory + page) - 8;  // two rows of 4
    for (int i = 0; i < 8; i++)
        pixels[i] = 0x00FFFFFF;
    pixels[7] = 0x80000000;
    EXPECT_TRUE(pixels_carry_alpha(pixels, 4, 100, 4));
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(PixelPasses, MaskRewriteRowByRow)
{
    // 3 x 2 icon in rows of 5; the mask block has rows of exactly 3.
    std::vector<UINT32> buffer = {0x00112233, 0x00445566, 0x00778899, GAP, 0x12345678,
                                  0x00AABBCC, 0x80DDEEFF, 0x00010203, GAP, 0x00000000};
    const UINT32 mask[] = {0x00FFFFFF, 0, 0,
                           0, 0, 1};
    alpha_from_mask(buffer.data(), mask, 3, 2, 5);
    std::vector<UINT32> expected = {0x00000000, 0xFF445566, 0xFF778899, GAP, 0x12345678,
                                    0xFFAABBCC, 0xFFDDEEFF, 0x00000000, GAP, 0x00000000};
    EXPECT_EQ(expected, buffer);
}

TEST(PixelPasses, MaskReadThroughGdi)
{
    // A 4 x 2 mask: top row masked at x 0, bottom row at x 3.  Read bottom-up,
    // the bottom row is memory row 0 and goes with buffer row 0.
    const BYTE bits[] = {0x80, 0x00, 0x10, 0x00};
    HBITMAP mask = CreateBitmap(4, 2, 1, 1, bits);
    HDC dc = CreateCompatibleDC(NULL);
    std::vector<UINT32> buffer(2 * 6, 0x00102030);
    buffer[4] = buffer[5] = buffer[10] = buffer[11] = GAP;
    SIZE size = {4, 2};
    EXPECT_EQ(S_OK, apply_mask_alpha(dc, buffer.data(), mask, &size, 6));
    std::vector<UINT32> expected = {0xFF102030, 0xFF102030, 0xFF102030, 0x00000000, GAP, GAP,
                                    0x00000000, 0xFF102030, 0xFF102030, 0xFF102030, GAP, GAP};
    EXPECT_EQ(expected, buffer);

    // A mask that cannot be read changes nothing.
    DeleteObject(mask);
    std::vector<UINT32> before = buffer;
    EXPECT_EQ(E_UNEXPECTED, apply_mask_alpha(dc, buffer.data(), mask, &size, 6));
    EXPECT_EQ(before, buffer);
    DeleteDC(dc);
}

TEST(MenuBitmap, SmallIconSizedBottomUp32Bpp)
{
    SIZE size = small_icon_size();
    HICON icon = plain_icon(0xFF204060);
    HBITMAP bitmap = make_menu_bitmap(icon);
    ASSERT_NE(nullptr, bitmap);
    DIBSECTION dib = {};
    ASSERT_EQ((int)sizeof(dib), GetObjectW(bitmap, sizeof(dib), &dib));
    EXPECT_EQ(size.cx, dib.dsBmih.biWidth);
    EXPECT_EQ(size.cy, dib.dsBmih.biHeight);  // positive: rows run bottom-up
    EXPECT_EQ(32, dib.dsBmih.biBitCount);
    EXPECT_EQ((DWORD)BI_RGB, dib.dsBmih.biCompression);
    EXPECT_NE(nullptr, dib.dsBm.bmBits);
    DeleteObject(bitmap);
    DestroyIcon(icon);
}

TEST(MenuBitmap, AlphaIconComesOutPremultiplied)
{
    SIZE size = small_icon_size();
    int n = size.cx * size.cy;
    // Top row: opaque, half-transparent, and fully transparent pixels; the
    // mask is set everywhere and must not be consulted.
    std::vector<UINT32> colour(n, 0xFF3366CC);
    colour[1] = 0x80C08040;
    colour[2] = 0x00FFFFFF;
    HICON icon = make_icon(size.cx, size.cy, colour, std::vector<bool>(n, true));
    ASSERT_NE(nullptr, icon);
    HBITMAP bitmap = make_menu_bitmap(icon);
    ASSERT_NE(nullptr, bitmap);
    std::vector<UINT32> pixels = top_down_pixels(bitmap);
    EXPECT_EQ(0xFF3366CCu, pixels[0]);
    EXPECT_EQ(0xFF3366CCu, pixels[n - 1]);
    EXPECT_EQ(0x00000000u, pixels[2]);
    // Premultiplied: each colour byte scaled by 0x80 / 0xFF (one step of rounding allowed).
    UINT32 half = pixels[1];
    EXPECT_EQ(0x80u, half >> 24);
    const int expected[3] = {0x40 * 0x80 / 0xFF, 0x80 * 0x80 / 0xFF, 0xC0 * 0x80 / 0xFF};
    for (int byte = 0; byte < 3; byte++)
        EXPECT_NEAR(expected[byte], (int)((half >> (8 * byte)) & 0xFF), 1) << "byte " << byte;
    DeleteObject(bitmap);
    DestroyIcon(icon);
}

TEST(MenuBitmap, MaskedIconGetsAlphaFromItsMask)
{
    SIZE size = small_icon_size();
    int n = size.cx * size.cy;
    // No alpha anywhere; the left column and the bottom row are masked.
    std::vector<UINT32> colour(n, 0x00336699);
    std::vector<bool> masked(n, false);
    for (int y = 0; y < size.cy; y++)
        masked[y * size.cx] = true;
    for (int x = 0; x < size.cx; x++)
        masked[(size.cy - 1) * size.cx + x] = true;
    // Colour under the mask is drawn inverted onto the black buffer; only
    // the mask pass can make those pixels transparent.
    for (int i = 0; i < n; i++)
        if (masked[i])
            colour[i] = 0x00102030;
    HICON icon = make_icon(size.cx, size.cy, colour, masked);
    ASSERT_NE(nullptr, icon);
    HBITMAP bitmap = make_menu_bitmap(icon);
    ASSERT_NE(nullptr, bitmap);
    std::vector<UINT32> pixels = top_down_pixels(bitmap);
    int transparent = 0, opaque = 0;
    for (int i = 0; i < n; i++) {
        if (masked[i]) {
            EXPECT_EQ(0x00000000u, pixels[i]) << "pixel " << i;
            transparent++;
        } else {
            EXPECT_EQ(0xFF336699u, pixels[i]) << "pixel " << i;
            opaque++;
        }
    }
    EXPECT_EQ(size.cx + size.cy - 1, transparent);
    EXPECT_GT(opaque, 0);
    DeleteObject(bitmap);
    DestroyIcon(icon);
}

TEST(MenuBitmap, ConversionsReleaseTheirObjects)
{
    // The mask path takes the most: a DC, a buffered paint, the icon's two bitmaps.
    SIZE size = small_icon_size();
    int n = size.cx * size.cy;
    std::vector<bool> masked(n, false);
    masked[0] = true;
    HICON icon = make_icon(size.cx, size.cy, std::vector<UINT32>(n, 0x00336699), masked);
    DeleteObject(make_menu_bitmap(icon));
    long before = live_gdi_objects();
    ASSERT_GE(before, 0) << "GDI objects cannot be counted here";
    for (int i = 0; i < 50; i++) {
        HBITMAP bitmap = make_menu_bitmap(icon);
        ASSERT_NE(nullptr, bitmap);
        ASSERT_EQ(0u, top_down_pixels(bitmap)[0]);  // the mask pass ran
        DeleteObject(bitmap);
    }
    EXPECT_EQ(before, live_gdi_objects());
    DestroyIcon(icon);
}

TEST(MenuBitmap, FailedDrawingStillGivesTheErasedBitmap)
{
    // Not an icon: DrawIconEx fails, the erased buffer is blended all the same.
    HBITMAP bitmap = make_menu_bitmap((HICON)(ULONG_PTR)0x7FF0);
    ASSERT_NE(nullptr, bitmap);
    for (UINT32 pixel : top_down_pixels(bitmap))
        ASSERT_EQ(0u, pixel);
    DeleteObject(bitmap);
}

TEST(MenuBitmap, NullIconLoadsNothing)
{
    theme_library_scope scope(L"stand_in_theme.dll");
    int loads = theme_loads();
    EXPECT_EQ(nullptr, make_menu_bitmap(NULL));
    EXPECT_EQ(loads, theme_loads());
}

TEST(MenuBitmap, ThemeLibraryLoadedAndReleasedOnEveryCall)
{
    HICON icon = plain_icon(0xFF000000);
    theme_library_scope scope(L"stand_in_theme.dll");
    int loads = theme_loads();
    for (int call = 1; call <= 2; call++) {
        // This stand-in cannot begin a buffered paint: the bitmap is still
        // made, with nothing drawn into it.
        HBITMAP bitmap = make_menu_bitmap(icon);
        ASSERT_NE(nullptr, bitmap);
        for (UINT32 pixel : top_down_pixels(bitmap))
            ASSERT_EQ(0u, pixel);
        DeleteObject(bitmap);
        EXPECT_EQ(loads + call, theme_loads());
        EXPECT_EQ(nullptr, GetModuleHandleW(L"stand_in_theme.dll"));
    }
    DestroyIcon(icon);
}

// By name the library comes from System32 alone: one beside the program,
// where its user could have put it, is never loaded.
TEST(MenuBitmap, ThemeLibraryByNameComesFromSystem32Only)
{
    HICON icon = plain_icon(0xFF000000);
    theme_library_scope scope(L"stand_in_theme.dll", true);
    int loads = theme_loads();
    EXPECT_EQ(nullptr, make_menu_bitmap(icon)) << "System32 has no such library";
    EXPECT_EQ(loads, theme_loads());
    DestroyIcon(icon);
}

TEST(MenuBitmap, MissingThemeGivesNull)
{
    HICON icon = plain_icon(0xFF000000);
    {
        theme_library_scope scope(L"stand_in_theme_partial.dll");  // no EndBufferedPaint
        int loads = theme_loads();
        EXPECT_EQ(nullptr, make_menu_bitmap(icon));
        EXPECT_EQ(loads + 1, theme_loads());
        EXPECT_EQ(nullptr, GetModuleHandleW(L"stand_in_theme_partial.dll"));
    }
    {
        theme_library_scope scope(L"qv_no_such_theme.dll");
        EXPECT_EQ(nullptr, make_menu_bitmap(icon));
    }
    // The real library still works after the stand-ins.
    HBITMAP bitmap = make_menu_bitmap(icon);
    EXPECT_NE(nullptr, bitmap);
    DeleteObject(bitmap);
    DestroyIcon(icon);
}

// The shell's small icon of `path` (as SHGetFileInfoW's SHGFI_ICON gives it)
// made into a menu bitmap.
std::vector<UINT32> shell_icon_picture(const std::wstring &path, DWORD attributes, UINT flags)
{
    SHFILEINFOW info = {};
    if (!SHGetFileInfoW(path.c_str(), attributes, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON | flags))
        return {};
    HBITMAP bitmap = make_menu_bitmap(info.hIcon);
    DestroyIcon(info.hIcon);
    std::vector<UINT32> pixels = top_down_pixels(bitmap);
    DeleteObject(bitmap);
    return pixels;
}

// A right-click on 101 mixed entries: every entry shows the picture of the
// shell's own icon, pictures come one per distinct icon, and a cloud-marked
// entry gets the picture of its type.
TEST(MenuPictures, TheShellsOwnIconOnePicturePerDistinctIcon)
{
    temp_dir dir(L"qv-mixed");
    ASSERT_TRUE(make_mixed_folder(dir.path(), dir.path()));
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", 0, 0, 0, 1, 1, HWND_MESSAGE, NULL, NULL, NULL);
    // The shell keeps each new icon it meets: a first right-click, and the
    // shell's own icons, before counting.
    qv_shellex *ext = listed_object_for(dir.path(), 0);
    HMENU menu = CreatePopupMenu();
    ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL);
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    for (UINT64 i = 0; i < ext->list.entry_count; i++)
        shell_icon_picture(dir / list_name(&ext->list, i), 0, 0);
    DestroyMenu(menu);
    ext->Release();
    ext = listed_object_for(dir.path(), 0);
    menu = CreatePopupMenu();
    long gdi = live_gdi_objects();
    ASSERT_EQ(101u + 1 + 10, (UINT)HRESULT_CODE(ext->QueryContextMenu(menu, 0, 100, 0x7FFF, CMF_NORMAL)));
    SendMessageW(owner, WM_INITMENU, (WPARAM)menu, 0);
    long gdi_shown = live_gdi_objects();
    std::set<HBITMAP> pictures;
    for (int i = 1; i <= 101; i++) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_BITMAP | MIIM_ID;
        ASSERT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        std::wstring path = dir / list_name(&ext->list, info.wID - 100);
        ASSERT_NE(nullptr, info.hbmpItem) << testing::PrintToString(path);
        EXPECT_EQ(shell_icon_picture(path, 0, 0), top_down_pixels(info.hbmpItem)) << testing::PrintToString(path);
        pictures.insert(info.hbmpItem);
    }
    EXPECT_LT(pictures.size(), 40u) << "programs, texts and folders share their icons";
    EXPECT_LE(gdi_shown - gdi, (long)pictures.size() + 2);

    // Through the listing's seam: an offline file is never opened for its
    // icon, and shows the picture of its type, whichever program it is.
    std::wstring program = dir / L"program0.exe";
    int offline = item_icon(NULL, program.c_str(), L"program0.exe", FILE_ATTRIBUTE_OFFLINE);
    EXPECT_EQ(type_picture(L"program0.exe", FILE_ATTRIBUTE_OFFLINE, NULL), offline);
    EXPECT_EQ(offline, item_icon(NULL, (dir / L"program1.exe").c_str(), L"program1.exe", FILE_ATTRIBUTE_OFFLINE));
    qv_menu_pictures made = {};
    HBITMAP picture = picture_of(&made, offline);
    ASSERT_NE(nullptr, picture);
    EXPECT_EQ(picture, picture_of(&made, offline)) << "made once";
    pictures_clear(&made);

    SendMessageW(owner, WM_UNINITMENUPOPUP, (WPARAM)menu, 0);
    DestroyMenu(menu);
    ext->Release();
    EXPECT_LE(live_gdi_objects(), gdi + 2);
    DestroyWindow(owner);
}
