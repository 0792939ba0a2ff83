// The menu host program: bad input gets a clear refusal and a non-zero exit;
// help goes to standard output, errors to standard error; nothing is
// registered unasked; a folder's menu opens, is printed, and its picture
// decodes back through Windows' own PNG decoder.
#include <gtest/gtest.h>
#include <wincodec.h>
#include "common/qv_clsid.h"
#include "test_support.h"

namespace {

std::wstring in_quotes(const std::wstring &text)
{
    return L"\"" + text + L"\"";
}

DWORD host(const std::wstring &arguments, std::string *out = nullptr, std::string *err = nullptr)
{
    return run_process(in_quotes(test_bin_dir() + L"\\qv-menu-host.exe") + L" " + arguments, out, err);
}

bool has(const std::string &text, const char *part)
{
    return text.find(part) != std::string::npos;
}

TEST(MenuHost, RefusesBadInput)
{
    temp_dir folder;
    write_file(folder / L"plain.txt");
    EXPECT_EQ(2u, host(L"")) << "no path";
    EXPECT_EQ(2u, host(L"--bogus \"" + folder.path() + L"\""));
    EXPECT_EQ(2u, host(L"\"" + folder.path() + L"\\missing\""));
    EXPECT_EQ(2u, host(L"\"" + (folder / L"plain.txt") + L"\""));
    EXPECT_EQ(2u, host(L"--choose x \"" + folder.path() + L"\""));
    EXPECT_EQ(2u, host(L"-x \"" + folder.path() + L"\"")) << "a single-dash option is not a path";
    EXPECT_EQ(2u, host(in_quotes(folder.path()) + L" --screenshot")) << "option without its value";
    // A file that is not a module cannot be registered.
    EXPECT_EQ(3u, host(L"--register --dll \"" + (folder / L"plain.txt") + L"\" \"" + folder.path() + L"\""));
    EXPECT_EQ(11u, host(L"--make-sample " + in_quotes(folder / L"missing\\sample")));
}

TEST(MenuHost, HelpGoesToStandardOutputAndErrorsToStandardError)
{
    std::string help;
    for (const wchar_t *option : {L"--help", L"-h", L"-?", L"/?"}) {
        std::string out, err;
        EXPECT_EQ(0u, host(option, &out, &err)) << testing::PrintToString(std::wstring(option));
        EXPECT_TRUE(has(out, "usage: qv-menu-host")) << out;
        EXPECT_EQ("", err);
        help = out;
    }
    // Every exit code is listed, each on its own line.
    for (int code = 0; code <= 11; code++) {
        char line[16];
        snprintf(line, sizeof(line), "\n%4d  ", code);
        EXPECT_TRUE(has(help, line)) << "exit code " << code << " undocumented in:\n" << help;
    }

    temp_dir folder;
    std::string out, err;
    EXPECT_EQ(2u, host(L"--bogus " + in_quotes(folder.path()), &out, &err));
    EXPECT_EQ("", out);
    EXPECT_TRUE(has(err, "unknown option --bogus")) << err;
    EXPECT_TRUE(has(err, "usage: qv-menu-host")) << err;
}

const std::wstring clsid_key = L"Software\\Classes\\CLSID\\" QV_CLSID_STRING;

// Where registering writes, in both hives: the class, the handler lists of
// folders, drives and shortcuts, and the approved extensions.
std::vector<std::wstring> registration_snapshot()
{
    const wchar_t *keys[] = {
        L"Software\\Classes\\CLSID\\" QV_CLSID_STRING,
        L"Software\\Classes\\Directory\\shellex",
        L"Software\\Classes\\Drive\\shellex",
        L"Software\\Classes\\Folder\\shellex",
        L"Software\\Classes\\lnkfile\\shellex",
        L"Software\\Classes\\*\\shellex",
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    };
    std::vector<std::wstring> all;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const wchar_t *key : keys) {
            std::vector<std::wstring> part = reg_snapshot(root, key);
            all.insert(all.end(), part.begin(), part.end());
        }
    }
    return all;
}

TEST(MenuHost, RegistersNothingUnasked)
{
    bool was_registered = reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key);
    run_regsvr32(test_dll_path(), L"/u");
    ASSERT_FALSE(reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key));
    temp_dir folder;

    std::vector<std::wstring> before = registration_snapshot();
    std::string err;
    EXPECT_EQ(6u, host(L"--close " + in_quotes(folder.path()), nullptr, &err));
    EXPECT_TRUE(has(err, "not registered")) << err;
    EXPECT_TRUE(has(err, "regsvr32")) << err;
    EXPECT_TRUE(has(err, "--register")) << err;
    EXPECT_TRUE(before == registration_snapshot()) << "the host changed the registry";

    // Registered from a copy that is then deleted: the module is missing.
    std::wstring copy = folder / L"quorvane-shellex.dll";
    ASSERT_TRUE(CopyFileW(test_dll_path().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(0u, host(L"--register --dll " + in_quotes(copy) + L" --close " + in_quotes(folder.path())));
    EXPECT_TRUE(reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key));
    ASSERT_TRUE(DeleteFileW(copy.c_str()));
    err.clear();
    EXPECT_EQ(7u, host(L"--close " + in_quotes(folder.path()), nullptr, &err));
    EXPECT_TRUE(has(err, "quorvane-shellex.dll")) << err;

    // Leave the prefix as it was found.
    run_regsvr32(test_dll_path(), was_registered ? L"" : L"/u");
    EXPECT_EQ(was_registered, reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key));
}

// Width and height of a picture, read through WIC's PNG decoder; 0 x 0 when
// it does not decode.  `differing` receives how many pixels differ from the
// first one.
SIZE decoded_png_size(const std::wstring &path, size_t *differing)
{
    SIZE size = {0, 0};
    *differing = 0;
    IWICImagingFactory *factory = nullptr;
    IWICBitmapDecoder *decoder = nullptr;
    IWICBitmapFrameDecode *frame = nullptr;
    IWICFormatConverter *converter = nullptr;
    GUID container = {};
    UINT width = 0, height = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, NULL, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   (void **)&factory)) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(path.c_str(), NULL, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                     &decoder)) &&
        SUCCEEDED(decoder->GetContainerFormat(&container)) && IsEqualGUID(container, GUID_ContainerFormatPng) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&width, &height)) &&
        SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
        SUCCEEDED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, NULL, 0,
                                        WICBitmapPaletteTypeCustom))) {
        std::vector<DWORD> pixels((size_t)width * height);
        if (SUCCEEDED(converter->CopyPixels(NULL, width * 4, (UINT)pixels.size() * 4, (BYTE *)pixels.data()))) {
            size = {(LONG)width, (LONG)height};
            for (DWORD p : pixels)
                *differing += p != pixels[0];
        }
    }
    for (IUnknown *object : {(IUnknown *)converter, (IUnknown *)frame, (IUnknown *)decoder, (IUnknown *)factory}) {
        if (object)
            object->Release();
    }
    return size;
}

TEST(MenuHost, ShowsAndClosesTheMenuOfASampleFolder)
{
    // The whole listing is wanted: the widest time limit, so that a busy
    // machine does not show a part of it.
    settings_scope settings;
    settings.set(L"ListingTimeLimit", 5000);
    temp_dir root;
    std::wstring sample = root / L"sample";
    ASSERT_EQ(0u, host(L"--make-sample \"" + sample + L"\""));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((sample + L"\\Projects shortcut.lnk").c_str()));
    std::wstring picture = root / L"menu.png";
    std::string out;
    EXPECT_EQ(0u, host(L"--register --screenshot \"" + picture + L"\" \"" + sample + L"\"", &out));
    std::string png = read_file(picture);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ("\x89PNG", png.substr(0, 4));

    // The picture has the size of the menu window the host reports.
    long width = 0, height = 0;
    size_t at = out.find("picture saved to ");
    ASSERT_NE(std::string::npos, at) << out;
    ASSERT_EQ(2, sscanf(out.c_str() + at, "picture saved to %*[^(](%ld x %ld pixels)", &width, &height)) << out;
    size_t differing = 0;
    SIZE decoded = decoded_png_size(picture, &differing);
    EXPECT_EQ(width, decoded.cx);
    EXPECT_EQ(height, decoded.cy);
    EXPECT_GT(width, 50);
    EXPECT_GT(height, 100) << "ten entries and a submenu";
    // Text and icons, not one flat colour.
    EXPECT_GT(differing, (size_t)(width * height / 50));

    // A picture that cannot be written fails clearly and leaves no file.
    std::wstring nowhere = root / L"missing\\menu.png";
    EXPECT_EQ(4u, host(L"--screenshot " + in_quotes(nowhere) + L" " + in_quotes(sample)));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(nowhere.c_str()));
    // Asking for an entry the menu does not have fails clearly.
    EXPECT_EQ(10u, host(L"--choose 999 \"" + sample + L"\""));
    run_regsvr32(test_dll_path(), L"/u");
}

}  // namespace
