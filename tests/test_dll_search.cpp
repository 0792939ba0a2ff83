// Libraries come from System32 alone.  The shipped programs and the module
// import only KnownDLLs at load time (the loader takes those from System32
// whatever the search order), and the programs restrict every later search
// to System32 first thing; run beside planted libraries, under
// Windows' search order (emulated with WINEDLLOVERRIDES: a library beside
// the program before the system's), they load none of them.
#include <gtest/gtest.h>
#include <windows.h>
#include <dbghelp.h>
#include <string.h>
#include <algorithm>
#include <set>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
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

// What the PE image `path` imports at load time, read with dbghelp from
// the file.
image_facts read_image(const std::wstring &path)
{
    image_facts facts;
    std::string bytes = read_file(path);
    void *base = bytes.empty() ? nullptr : &bytes[0];
    IMAGE_NT_HEADERS *nt = base ? ImageNtHeader(base) : nullptr;
    ULONG size = 0;
    auto entry = nt ? (const IMAGE_IMPORT_DESCRIPTOR *)ImageDirectoryEntryToData(base, FALSE, IMAGE_DIRECTORY_ENTRY_IMPORT, &size)
                    : nullptr;
    auto text_at = [&](DWORD rva) {
        const char *text = (const char *)ImageRvaToVa(nt, base, rva, NULL);
        std::string s = text ? text : "";
        for (char &c : s)
            c = (char)tolower((unsigned char)c);
        return s;
    };
    for (; entry && entry->Name; entry++) {
        std::string dll = text_at(entry->Name);
        facts.imports.insert(dll);
        auto thunk = dll == "kernel32.dll" ? (const ULONGLONG *)ImageRvaToVa(nt, base, entry->OriginalFirstThunk, NULL)
                                           : nullptr;
        for (; thunk && *thunk; thunk++)
            if (!(*thunk & IMAGE_ORDINAL_FLAG64))
                facts.kernel32_calls.insert(text_at((DWORD)*thunk + 2));  // past the hint
    }
    facts.read = nt != nullptr;
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
        EXPECT_EQ(1u, facts.imports.count("kernel32.dll")) << what << ": the table was read";
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
    const std::wstring clsid_key = L"Software\\Classes\\CLSID\\" QV_CLSID_STRING;
    bool was_registered = reg_key_exists(HKEY_LOCAL_MACHINE, clsid_key);
    EXPECT_EQ(0u, run_process(quoted(folder / L"qv-menu-host.exe") + L" --register --screenshot " +
                              quoted(folder / L"m.png") + L" " + quoted(folder.path())));
    run_regsvr32(test_dll_path(), was_registered ? L"" : L"/u");
    std::string loaded = read_file(log);  // UTF-16: its ASCII letters suffice
    loaded.erase(std::remove(loaded.begin(), loaded.end(), '\0'), loaded.end());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.c_str())) << "loaded: " << loaded;
    SetEnvironmentVariableW(L"QV_PLANTED_LOG", NULL);
}
