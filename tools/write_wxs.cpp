// Writes the WiX source of the installer package.  The registry rows come
// from the module's own registration table, walked in the machine-wide write
// mode, so the package writes exactly what DllRegisterServer writes, with the
// installed file's path for the module.
//
// Usage: write_wxs OUTPUT.wxs PRODUCT-NAME VERSION MODULE-FILE
//   VERSION has three parts, MAJOR.MINOR.BUILD (Windows Installer compares
//   no more).  MODULE-FILE is the module's file name: wixl takes it from the
//   folder of OUTPUT.wxs, and the package installs it under that name.
#include <windows.h>
#include <stdio.h>
#include <wchar.h>
#include <string>
#include "menu/shell_open.h"
#include "module/registration.h"

// Stands for $2 during the walk; replaced by the installed file's path.
static const WCHAR module_marker[] = L"\x01";
static const char module_file_id[] = "QuorvaneShellexModule";

// Fixed for the product's lifetime: Windows Installer finds earlier versions
// and the component's other installs by them.
static const char upgrade_code[] = "{14512D5B-3232-4EFA-8141-A28EF95BCA28}";
static const char component_guid[] = "{12AAD5DF-3995-4EA1-82C0-77A2D225A1DC}";

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

static DWORD add_row(const qv_registry_entry *entry, void *context)
{
    // The Registry table reads a value starting with "#" as a number, and an
    // empty one as "create the key only": neither would be the REG_SZ the
    // module writes.
    if (entry->data_length == 0 || entry->data[0] == L'#') {
        fprintf(stderr, "write_wxs: data of %ls cannot be a string row\n", entry->key);
        return ERROR_INVALID_DATA;
    }
    std::string &xml = *(std::string *)context;
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

int wmain(int argc, WCHAR **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: write_wxs OUTPUT.wxs PRODUCT-NAME MAJOR.MINOR.BUILD MODULE-FILE\n");
        return 2;
    }
    std::string name = xml_escaped(utf8(argv[2], wcslen(argv[2])));
    std::string version = xml_escaped(utf8(argv[3], wcslen(argv[3])));
    std::string next = next_version(argv[3]);
    std::string file_name = xml_escaped(utf8(argv[4], wcslen(argv[4])));
    std::string home_page = xml_escaped(utf8(QV_HOME_PAGE, wcslen(QV_HOME_PAGE)));
    if (next.empty()) {
        fprintf(stderr, "write_wxs: the version %ls is not MAJOR.MINOR.BUILD (at most 255.255.65534)\n", argv[3]);
        return 2;
    }

    std::string registry;
    DWORD error = registry_table_visit(QV_REG_MACHINE, module_marker, add_row, &registry);
    if (error) {
        fprintf(stderr, "write_wxs: the registration table could not be walked (error %lu)\n", error);
        return 1;
    }

    std::string wxs =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!-- Generated by write_wxs from the module's registration table. -->\n"
        "<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">\n"
        "  <Product Id=\"*\" Name=\"" + name + "\" Version=\"" + version + "\" Language=\"1033\"\n"
        "           Manufacturer=\"Quorvane\" UpgradeCode=\"" + upgrade_code + "\">\n"
        "    <Package Description=\"" + name + " " + version + " (x64)\" InstallerVersion=\"200\"\n"
        "             Compressed=\"yes\" InstallScope=\"perMachine\"/>\n"
        "    <MajorUpgrade DowngradeErrorMessage=\"A newer version of " + name + " is already installed.\"/>\n"
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
        "    <MediaTemplate EmbedCab=\"yes\"/>\n"
        "    <Directory Id=\"TARGETDIR\" Name=\"SourceDir\">\n"
        "      <Directory Id=\"ProgramFiles64Folder\">\n"
        "        <Directory Id=\"INSTALLDIR\" Name=\"" + name + "\">\n"
        "          <Component Id=\"Module\" Guid=\"" + component_guid + "\" Win64=\"yes\">\n"
        "            <File Id=\"" + module_file_id + "\" Name=\"" + file_name + "\" Source=\"" + file_name + "\" KeyPath=\"yes\"/>\n"
        + registry +
        "          </Component>\n"
        "        </Directory>\n"
        "      </Directory>\n"
        "    </Directory>\n"
        "    <Feature Id=\"Complete\" Level=\"1\">\n"
        "      <ComponentRef Id=\"Module\"/>\n"
        "    </Feature>\n"
        "  </Product>\n"
        "</Wix>\n";

    FILE *out = _wfopen(argv[1], L"wb");
    if (!out) {
        fprintf(stderr, "write_wxs: cannot create %ls\n", argv[1]);
        return 1;
    }
    bool written = fwrite(wxs.data(), 1, wxs.size(), out) == wxs.size();
    if (fclose(out) != 0 || !written) {
        fprintf(stderr, "write_wxs: cannot write %ls\n", argv[1]);
        return 1;
    }
    return 0;
}
