// Writes the WiX source of an installer package.  The registry rows come
// from the module's own registration table, so the package writes exactly
// what DllRegisterServer writes, with the installed file's path for the
// module: walked in the machine-wide mode for the package for all users, in
// the user-hive mode for the package for the current user.
//
// Usage: write_wxs [--per-user] [--icon ICON.ico] [--program FILE SHORTCUT-NAME]...
//                  OUTPUT.wxs PRODUCT-NAME VERSION MODULE-FILE
//   VERSION has three parts, MAJOR.MINOR.BUILD (Windows Installer compares
//   no more).  MODULE-FILE is the module's file name: wixl takes it from the
//   folder of OUTPUT.wxs, and the package installs it under that name.
//   --per-user: a package that installs for the current user without
//   elevation, into %LOCALAPPDATA%\Programs\PRODUCT-NAME, with the user-hive
//   entries of the table only (the machine-wide ones need an administrator).
//   Without it: for all users, into Program Files.
//   --icon: the product's icon in Apps & features and on the shortcuts
//   (taken from the folder of OUTPUT.wxs too).
//   --program: one more file installed beside the module (taken from the
//   folder of OUTPUT.wxs too), with a Start-menu shortcut of that name.
//
// Both packages pass the validation rules ICE38, ICE43 and ICE64: every
// component placed in the user's profile (all of the per-user package's, and
// the shortcuts' in the Start menu of either) has a value under
// HKEY_CURRENT_USER as its key path, and every folder the package makes in
// the profile is removed on uninstall.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>
#include <string>
#include <vector>
#include "menu/shell_open.h"
#include "module/registration.h"

// Stands for $2 during the walk; replaced by the installed file's path.
static const WCHAR module_marker[] = L"\x01";
static const char module_file_id[] = "QuorvaneShellexModule";
static const char icon_id[] = "QuorvaneShellex.ico";

// Fixed for the product's lifetime: Windows Installer finds earlier versions
// and the component's other installs by them.  The package for the current
// user is another product with a module in another place: codes of its own.
struct package_codes {
    const char *upgrade_code;
    const char *component_guid;
};
static const package_codes machine_codes = {"{14512D5B-3232-4EFA-8141-A28EF95BCA28}",
                                            "{12AAD5DF-3995-4EA1-82C0-77A2D225A1DC}"};
// The per-user components are keyed by a value under HKEY_CURRENT_USER:
// the module's has a code of its own since its key path became that value.
static const char user_programs_folder_guid[] = "{0B2B1F90-47EB-4CFA-84CB-B601B0541DE5}";
static const package_codes user_codes = {"{9DA7DD6A-54AB-4B7D-A20A-45C01DF3F2EA}",
                                         "{5C0F3D8E-2B71-4E0A-9A4C-6F1D7E2B8C31}"};

// The key under HKEY_CURRENT_USER whose values are the key paths of the
// components in the user's profile, one value per component.
static const char installed_key[] = "Software\\Quorvane\\Installed\\";

static std::string utf8(const WCHAR *text, size_t length)
{
    std::string out;
    int size = WideCharToMultiByte(CP_UTF8, 0, text, (int)length, NULL, 0, NULL, NULL);
    if (size > 0) {
        out.resize((size_t)size);
        WideCharToMultiByte(CP_UTF8, 0, text, (int)length, &out[0], size, NULL, NULL);
    }
    return out;
}

static std::string xml_escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Registry rows are formatted strings: brackets would be read as property
// references, so they are escaped; the module marker becomes a reference to
// the installed file.
static std::string formatted(const WCHAR *text)
{
    std::string out;
    const WCHAR *run = text;
    for (const WCHAR *p = text;; p++) {
        bool marker = *p == module_marker[0];
        if (*p && !marker && *p != L'[' && *p != L']')
            continue;
        out += utf8(run, (size_t)(p - run));
        if (!*p)
            break;
        if (marker)
            out += std::string("[#") + module_file_id + "]";
        else
            out += *p == L'[' ? "[\\[]" : "[\\]]";
        run = p + 1;
    }
    return xml_escaped(out);
}

struct registry_rows {
    bool per_user;
    std::string xml;
};

static DWORD add_row(const qv_registry_entry *entry, void *context)
{
    registry_rows &rows = *(registry_rows *)context;
    // Machine-wide entries of the user-hive walk (the approved list) need an
    // administrator: the package for the current user leaves them out.
    if (rows.per_user && entry->root != HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    // The Registry table reads a value starting with "#" as a number, and an
    // empty default value as "create the key only": neither would be the
    // REG_SZ the module writes.  An empty named value is an empty REG_SZ.
    if ((entry->data_length == 0 && !entry->name[0]) || entry->data[0] == L'#') {
        fprintf(stderr, "write_wxs: data of %ls cannot be a string row\n", entry->key);
        return ERROR_INVALID_DATA;
    }
    std::string &xml = rows.xml;
    xml += "            <RegistryValue Root=\"";
    xml += entry->root == HKEY_LOCAL_MACHINE ? "HKLM" : "HKCU";
    xml += "\" Key=\"" + formatted(entry->key) + "\"";
    if (entry->name[0])
        xml += " Name=\"" + formatted(entry->name) + "\"";
    xml += " Type=\"string\" Value=\"" + formatted(entry->data) + "\"/>\n";
    return ERROR_SUCCESS;
}

// The version after MAJOR.MINOR.BUILD in the package's ordering, or "" when
// `version` is not three numbers that Windows Installer can hold.
static std::string next_version(const WCHAR *version)
{
    unsigned major, minor, build;
    int length = 0;
    if (swscanf(version, L"%u.%u.%u%n", &major, &minor, &build, &length) != 3 || version[length] || !iswdigit(version[0]) ||
        major > 255 || minor > 255 || build >= 65535)
        return "";
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build + 1);
}

static std::string utf8(const WCHAR *text)
{
    return utf8(text, wcslen(text));
}

// A file installed beside the module, with a Start-menu shortcut.
struct program {
    std::string file, shortcut;
};

static int usage()
{
    fprintf(stderr, "usage: write_wxs [--per-user] [--icon ICON.ico] [--program FILE SHORTCUT-NAME]... "
                    "OUTPUT.wxs PRODUCT-NAME MAJOR.MINOR.BUILD MODULE-FILE\n");
    return 2;
}

int wmain(int argc, WCHAR **argv)
{
    bool per_user = false;
    std::string icon;
    std::vector<program> programs;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == L'-'; arg++) {
        if (!wcscmp(argv[arg], L"--per-user")) {
            per_user = true;
        } else if (!wcscmp(argv[arg], L"--icon") && arg + 1 < argc && argv[arg + 1][0]) {
            icon = xml_escaped(utf8(argv[++arg]));
        } else if (!wcscmp(argv[arg], L"--program") && arg + 2 < argc && argv[arg + 1][0] && argv[arg + 2][0]) {
            programs.push_back({xml_escaped(utf8(argv[arg + 1])), xml_escaped(utf8(argv[arg + 2]))});
            arg += 2;
        } else {
            return usage();
        }
    }
    if (argc - arg != 4)
        return usage();
    const WCHAR *output = argv[arg];
    std::string name = xml_escaped(utf8(argv[arg + 1]));
    std::string version = xml_escaped(utf8(argv[arg + 2]));
    std::string next = next_version(argv[arg + 2]);
    std::string file_name = xml_escaped(utf8(argv[arg + 3]));
    std::string home_page = xml_escaped(utf8(QV_HOME_PAGE));
    if (next.empty()) {
        fprintf(stderr, "write_wxs: the version %ls is not MAJOR.MINOR.BUILD (at most 255.255.65534)\n", argv[arg + 2]);
        return 2;
    }

    registry_rows registry = {per_user, ""};
    DWORD error = registry_table_visit(per_user ? 0 : QV_REG_MACHINE, module_marker, add_row, &registry);
    if (error) {
        fprintf(stderr, "write_wxs: the registration table could not be walked (error %lu)\n", error);
        return 1;
    }

    const package_codes &codes = per_user ? user_codes : machine_codes;
    const std::string upgrade_code = codes.upgrade_code;
    // The two products can be installed side by side: their entries in Apps
    // & features differ by name.
    const std::string product_name = per_user ? name + " (current user)" : name;
    const std::string installed = xml_escaped(std::string(installed_key)) + product_name;
    // The key path of a component in the user's profile.
    auto user_key_path = [&](const std::string &component) {
        return "            <RegistryValue Root=\"HKCU\" Key=\"" + installed + "\" Name=\"" + component +
               "\" Type=\"integer\" Value=\"1\" KeyPath=\"yes\"/>\n";
    };
    // %LOCALAPPDATA%\Programs is where Windows puts programs installed for
    // one user.  Windows Installer leaves folders of the user's profile
    // behind unless told: the install folder goes with the module, and
    // Programs, when it is left empty, with a component of its own.
    const std::string folder_start =
        per_user ? "      <Directory Id=\"LocalAppDataFolder\">\n"
                   "       <Directory Id=\"UserProgramsFolder\" Name=\"Programs\">\n"
                 : "      <Directory Id=\"ProgramFiles64Folder\">\n";
    const std::string folder_end =
        per_user ? std::string("        <Component Id=\"UserProgramsFolder\" Guid=\"") + user_programs_folder_guid +
                       "\" Win64=\"yes\">\n" + user_key_path("UserProgramsFolder") +
                       "          <RemoveFolder Id=\"RemoveUserProgramsFolder\" On=\"uninstall\"/>\n"
                       "        </Component>\n"
                       "       </Directory>\n      </Directory>\n"
                 : "      </Directory>\n";
    const std::string module_extra =
        per_user ? user_key_path("Module") + "            <RemoveFolder Id=\"RemoveInstallFolder\" On=\"uninstall\"/>\n" : "";
    const std::string file_key_path = per_user ? "" : " KeyPath=\"yes\"";

    // Each program: a component of its own (its identifier derived by wixl
    // from the file's place) with the file, and its shortcut in a component
    // of the Start menu, which is in the user's profile in either package.
    std::string program_components, shortcut_components,
        component_refs = per_user ? "      <ComponentRef Id=\"UserProgramsFolder\"/>\n" : "";
    const std::string shortcut_icon = icon.empty() ? "" : std::string(" Icon=\"") + icon_id + "\"";
    for (size_t i = 0; i < programs.size(); i++) {
        std::string id = "Program" + std::to_string(i + 1);
        program_components +=
            "          <Component Id=\"" + id + "\" Guid=\"*\" Win64=\"yes\">\n"
            "            <File Id=\"" + id + "File\" Name=\"" + programs[i].file + "\" Source=\"" + programs[i].file +
            "\"" + file_key_path + "/>\n" + (per_user ? user_key_path(id) : "") +
            "          </Component>\n";
        shortcut_components +=
            "        <Component Id=\"" + id + "Shortcut\" Guid=\"*\" Win64=\"yes\">\n" + user_key_path(id + "Shortcut") +
            "            <Shortcut Id=\"" + id + "Shortcut\" Name=\"" + programs[i].shortcut + "\" Target=\"[#" + id +
            "File]\" WorkingDirectory=\"INSTALLDIR\"" + shortcut_icon + "/>\n"
            "        </Component>\n";
        component_refs += "      <ComponentRef Id=\"" + id + "\"/>\n      <ComponentRef Id=\"" + id + "Shortcut\"/>\n";
    }
    const std::string icon_rows =
        icon.empty() ? ""
                     : std::string("    <Icon Id=\"") + icon_id + "\" SourceFile=\"" + icon + "\"/>\n" +
                           "    <Property Id=\"ARPPRODUCTICON\" Value=\"" + icon_id + "\"/>\n";

    std::string wxs =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!-- Generated by write_wxs from the module's registration table. -->\n"
        "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
        "  <Product Id=\"*\" Name=\"" + product_name + "\" Version=\"" + version + "\" Language=\"1033\"\n"
        "           Manufacturer=\"Quorvane\" UpgradeCode=\"" + upgrade_code + "\">\n"
        "    <Package Description=\"" + product_name + " " + version + " (x64)\" InstallerVersion=\"200\"\n"
        // perUser leaves ALLUSERS out, so the package installs for the
        // current user, and sets the summary bit "no elevation needed";
        // perMachine sets ALLUSERS=1 and leaves the bit clear.
        "             Compressed=\"yes\" InstallScope=\"" + (per_user ? "perUser" : "perMachine") + "\"/>\n"
        "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of " + product_name + " is already installed.\"/>\n"
        // Every build has a new product code; one of the same version
        // replaces the installed one as a later version does.  wixl knows
        // neither AllowSameVersionUpgrades nor IncludeMaximum, so the range
        // ends before the next build instead.
        "    <Upgrade Id=\"" + upgrade_code + "\">\n"
        "      <UpgradeVersion Minimum=\"" + version + "\" IncludeMinimum=\"yes\" Maximum=\"" + next +
        "\" Property=\"SAMEVERSIONFOUND\"/>\n"
        "    </Upgrade>\n"
        // The uninstall entry: links to the home page, no Modify button.
        "    <Property Id=\"ARPHELPLINK\" Value=\"" + home_page + "\"/>\n"
        "    <Property Id=\"ARPURLINFOABOUT\" Value=\"" + home_page + "\"/>\n"
        "    <Property Id=\"ARPNOMODIFY\" Value=\"1\"/>\n"
        // Explorer holds the module: the Restart Manager would close it
        // (silently under /qn).  Without it a module in use is replaced at
        // the next restart instead.
        "    <Property Id=\"MSIRESTARTMANAGERCONTROL\" Value=\"Disable\"/>\n"
        + icon_rows +
        "    <MediaTemplate EmbedCab=\"yes\"/>\n"
        "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
        + folder_start +
        "        <Directory Id=\"INSTALLDIR\" Name=\"" + name + "\">\n"
        "          <Component Id=\"Module\" Guid=\"" + codes.component_guid + "\" Win64=\"yes\">\n"
        "            <File Id=\"" + module_file_id + "\" Name=\"" + file_name + "\" Source=\"" + file_name + "\"" +
        file_key_path + "/>\n"
        + module_extra + registry.xml +
        "          </Component>\n"
        + program_components +
        "        </Directory>\n"
        + folder_end +
        (programs.empty() ? "" : "      <Directory Id=\"ProgramMenuFolder\">\n" + shortcut_components + "      </Directory>\n") +
        "    </Directory>\n"
        "    <Feature Id=\"Complete\" Level=\"1\">\n"
        "      <ComponentRef Id=\"Module\"/>\n"
        + component_refs +
        "    </Feature>\n"
        "  </Product>\n"
        "</Wix>\n";

    FILE *out = _wfopen(output, L"wb");
    if (!out) {
        fprintf(stderr, "write_wxs: cannot create %ls\n", output);
        return 1;
    }
    bool written = fwrite(wxs.data(), 1, wxs.size(), out) == wxs.size();
    if (fclose(out) != 0 || !written) {
        fprintf(stderr, "write_wxs: cannot write %ls\n", output);
        return 1;
    }
    return 0;
}
