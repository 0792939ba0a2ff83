#include "mixed_folder.h"
#include <windows.h>
#include <stdio.h>
#include "test_support.h"

std::string ico_file(unsigned colour)
{
    std::string bytes;
    auto put = [&bytes](UINT32 value, int size) {
        for (int i = 0; i < size; i++)
            bytes += (char)(value >> (8 * i));
    };
    put(0, 2), put(1, 2), put(1, 2);  // ICONDIR: reserved, type icon, one image
    put(16, 1), put(16, 1), put(0, 1), put(0, 1), put(1, 2), put(32, 2);
    put(40 + 16 * 16 * 4 + 16 * 4, 4), put(6 + 16, 4);  // size and offset of the image
    put(40, 4), put(16, 4), put(32, 4), put(1, 2), put(32, 2);  // BITMAPINFOHEADER, height doubled
    for (int i = 0; i < 6; i++)
        put(0, 4);
    for (int i = 0; i < 16 * 16; i++)
        put(colour, 4);
    for (int i = 0; i < 16; i++)
        put(0, 4);  // AND mask: all opaque
    return bytes;
}

bool make_mixed_folder(const std::wstring &dir, const std::wstring &seen_as)
{
    DWORD attributes = GetFileAttributesW(dir.c_str());
    if (!make_dir(dir) && (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return false;
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const wchar_t *programs[] = {L"notepad.exe", L"control.exe", L"winecfg.exe", L"explorer.exe", L"cmd.exe"};
    bool ok = true;
    auto check = [&ok](bool done, const std::wstring &what) {
        if (!done)
            fprintf(stderr, "cannot make %ls\n", what.c_str());
        ok = ok && done;
    };
    for (int i = 0; i < 20; i++) {
        std::wstring program = std::wstring(system) + L"\\" + programs[i % 5];
        std::wstring copy = dir + L"\\program" + std::to_wstring(i) + L".exe";
        check(CopyFileW(program.c_str(), copy.c_str(), FALSE) != 0, copy);
    }
    for (int i = 0; i < 40; i++) {
        std::wstring note = dir + L"\\note" + std::to_wstring(i) + L".txt";
        check(write_file(note, "some text\r\n"), note);
    }
    for (int i = 0; i < 15; i++) {
        std::wstring ico = dir + L"\\picture" + std::to_wstring(i) + L".ico";
        check(write_file(ico, ico_file(0xFF102030u * (i + 1))), ico);
    }
    for (int i = 0; i < 15; i++) {
        std::wstring lnk = dir + L"\\shortcut" + std::to_wstring(i) + L".lnk";
        check(make_shortcut(lnk, seen_as + L"\\note" + std::to_wstring(i) + L".txt"), lnk);
    }
    for (int i = 0; i < 11; i++) {
        std::wstring sub = dir + L"\\folder" + std::to_wstring(i);
        check(make_dir(sub), sub);
    }
    return ok;
}
