// Libraries come from System32 alone.  The shipped programs and the module
// import only KnownDLLs at load time (the loader takes those from System32
// whatever the search order), and the programs restrict every later search
// to System32 first thing; run beside planted libraries, under
// Windows' search order (emulated with WINEDLLOVERRIDES: a library beside
// the program before the system's), they load none of them.
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "test_support.h"

namespace {

// The KnownDLLs of every Windows from 7 to 11 that a program may import.
const std::set<std::string> known_dlls = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll",  "imagehlp.dll", "imm32.dll",    "kernel32.dll",
    "msctf.dll",    "msvcrt.dll",   "normaliz.dll", "nsi.dll",    "ole32.dll",    "oleaut32.dll",
    "psapi.dll",    "rpcrt4.dll",   "sechost.dll", "setupapi.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll",   "wldap32.dll",  "ws2_32.dll",
};

struct image_facts {
    bool read = false;
    std::set<std::string> imports;         // lower case
    std::set<std::string> kernel32_calls;  // names of kernel32's entries it imports
};

// What the PE image `path` imports at load time.
image_facts read_image(const std::wstring &path)
{
    image_facts facts;
    std::string bytes = read_file(path);
    auto at = [&](size_t offset, size_t size) -> const BYTE * {
        return offset + size <= bytes.size() ? (const BYTE *)bytes.data() + offset : nullptr;
    };
    auto dos = (const IMAGE_DOS_HEADER *)at(0, sizeof(IMAGE_DOS_HEADER));
    if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE)
        return facts;
    auto nt = (const IMAGE_NT_HEADERS64 *)at(dos->e_lfanew, sizeof(IMAGE_NT_HEADERS64));
    if (!nt || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC)
        return facts;
    const IMAGE_SECTION_HEADER *sections = IMAGE_FIRST_SECTION(nt);
    // A relative address of the image to an offset of the file.
    auto file_at = [&](DWORD rva, size_t size) -> const BYTE * {
        for (WORD i = 0; i < nt->FileHeader.NumberOfSections; i++) {
            const IMAGE_SECTION_HEADER &s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.SizeOfRawData)
                return at(s.PointerToRawData + (rva - s.VirtualAddress), size);
        }
        return nullptr;
    };
    auto text_at = [&](DWORD rva) {
        const char *text = (const char *)file_at(rva, 1);
        std::string s = text ? std::string(text, strnlen(text, bytes.data() + bytes.size() - text)) : "";
        for (char &c : s)
            c = (char)tolower((unsigned char)c);
        return s;
    };
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto entry = (const IMAGE_IMPORT_DESCRIPTOR *)file_at(imports.VirtualAddress, sizeof(IMAGE_IMPORT_DESCRIPTOR));
    for (; entry && entry->Name; entry++) {
        std::string dll = text_at(entry->Name);
        facts.imports.insert(dll);
        if (dll != "kernel32.dll")
            continue;
        auto thunk = (const ULONGLONG *)file_at(entry->OriginalFirstThunk, sizeof(ULONGLONG));
        for (; thunk && *thunk; thunk++)
            if (!(*thunk & IMAGE_ORDINAL_FLAG64))
                facts.kernel32_calls.insert(text_at((DWORD)*thunk + 2));  // past the hint
    }
    facts.read = true;
    return facts;
}

// Windows' search order under Wine, for the programs named: a library
// beside the program before the system's own (Wine's WINEDLLOVERRIDES
// "native,builtin", which Wine takes from the environment of the first
// process only, so per program from the registry).  Windows ignores the key.
class planted_first {
public:
    planted_first(std::vector<std::wstring> programs, std::vector<std::wstring> libraries)
        : programs_(std::move(programs))
    {
        for (const std::wstring &program : programs_)
            for (const std::wstring &library : libraries)
                EXPECT_TRUE(reg_set_value(HKEY_CURRENT_USER, key(program), library.c_str(), REG_SZ, L"native,builtin",
                                          sizeof(L"native,builtin")));
    }
    ~planted_first()
    {
        for (const std::wstring &program : programs_)
            reg_delete_tree(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\" + program);
    }

private:
    static std::wstring key(const std::wstring &program)
    {
        return L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides";
    }
    std::vector<std::wstring> programs_;
};

std::wstring quoted(const std::wstring &text)
{
    return L"\"" + text + L"\"";
}

}  // namespace

TEST(DllSearch, ShippedImagesImportOnlyKnownDlls)
{
    for (const wchar_t *name : {L"quorvane-shellex.dll", L"qv-settings.exe", L"qv-menu-host.exe"}) {
        std::string what = testing::PrintToString(std::wstring(name));
        image_facts facts = read_image(test_bin_dir() + L"\\" + name);
        ASSERT_TRUE(facts.read) << what;
        for (const std::string &dll : facts.imports)
            EXPECT_EQ(1u, known_dlls.count(dll)) << what << " imports " << dll << " at load time";
        // The programs restrict every later search before anything loads.
        if (wcsstr(name, L".exe")) {
            EXPECT_EQ(1u, facts.kernel32_calls.count("setdefaultdlldirectories")) << what;
        }
    }
}

TEST(DllSearch, ProgramsBesidePlantedLibrariesLoadNone)
{
    temp_dir folder(L"qv-planted");
    for (const wchar_t *name : {L"qv-settings.exe", L"qv-menu-host.exe", L"quorvane-shellex.dll"})
        ASSERT_TRUE(CopyFileW((test_bin_dir() + L"\\" + name).c_str(), (folder / name).c_str(), FALSE));
    // Libraries the programs or the module load by name, none a KnownDLL.
    // Not version.dll, which qv-settings binds at first use too: Wine's own
    // gdi32 imports it, so Wine would take a planted one before the program
    // runs (Windows' gdi32 does not; the import table test covers it).
    const std::wstring planted = test_bin_dir() + L"\\planted_library.dll";
    for (const wchar_t *name : {L"comctl32.dll", L"uxtheme.dll", L"windowscodecs.dll"})
        ASSERT_TRUE(CopyFileW(planted.c_str(), (folder / name).c_str(), FALSE));
    const std::wstring log = folder / L"loaded.txt";
    SetEnvironmentVariableW(L"QV_PLANTED_LOG", log.c_str());
    // Not comctl32 for the host: Wine's own shell32 imports it (Windows'
    // does not), so Wine would take a planted one before the host runs.
    planted_first settings_order({L"load_by_name.exe", L"qv-settings.exe"},
                                 {L"comctl32", L"uxtheme", L"windowscodecs"});
    planted_first host_order({L"qv-menu-host.exe"}, {L"uxtheme", L"windowscodecs"});

    // The emulation works: a program that loads a library by name without
    // restricting the search takes the planted one.
    const std::wstring loader = folder / L"load_by_name.exe";
    ASSERT_TRUE(CopyFileW((test_bin_dir() + L"\\load_by_name.exe").c_str(), loader.c_str(), FALSE));
    EXPECT_EQ(0u, run_process(quoted(loader) + L" uxtheme.dll"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.c_str())) << "the planted library was not taken";
    DeleteFileW(log.c_str());

    EXPECT_EQ(0u, run_process(quoted(folder / L"qv-settings.exe") + L" --screenshot " + quoted(folder / L"s.png")));
    // The host registers its own module beside it, which draws pictures
    // with the theme library; the build's module is registered again after.
    const std::wstring clsid_key = L"Software\\Classes\\CLSID\\{A65B95B4-BB43-405A-8E48-FDD52A33F8AB}";
    bool was_registered = reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key);
    EXPECT_EQ(0u, run_process(quoted(folder / L"qv-menu-host.exe") + L" --register --screenshot " +
                              quoted(folder / L"m.png") + L" " + quoted(folder.path())));
    run_regsvr32(test_dll_path(), was_registered ? L"" : L"/u");
    std::string loaded = read_file(log);  // UTF-16: its ASCII letters suffice
    loaded.erase(std::remove(loaded.begin(), loaded.end(), '\0'), loaded.end());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.c_str())) << "loaded: " << loaded;
    SetEnvironmentVariableW(L"QV_PLANTED_LOG", NULL);
}
