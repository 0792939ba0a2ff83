// The menu host's command line: its usage text and the reading of its options.
#include "host_options.h"
#include <wchar.h>
#include "host_output.h"

const wchar_t usage_text[] =
    L"usage: qv-menu-host [--register [--dll FILE]] [--open N[,M...]] [--screenshot FILE.png] [--choose N] [--close] PATH\n"
    L"       qv-menu-host --make-sample DIR [PATH]\n"
    L"       qv-menu-host --help | -h | -? | /?\n"
    L"Shows the context menu of the folder, drive or shortcut PATH with the extension in it.\n"
    L"The extension must be registered (regsvr32 quorvane-shellex.dll, as administrator);\n"
    L"nothing is registered unless --register is given.\n"
    L"  --register      register the extension (DllRegisterServer) before using it\n"
    L"  --dll FILE      the module to register (default: quorvane-shellex.dll beside this program)\n"
    L"  --screenshot F  save a picture of the open menu as PNG, then close it\n"
    L"  --open N[,M...] first open the submenu of listed entry N (a sub-folder, with CascadeFolders 1),\n"
    L"                  then that of its listed entry M, and so on, with the mouse (0 = first)\n"
    L"  --choose N      choose listed entry N (0 = first) with the keyboard and launch it\n"
    L"  --close         close the menu once it is printed\n"
    L"  --make-sample D create a sample folder D to show (then PATH may be left out)\n"
    L"Without --screenshot, --choose or --close the menu stays open for the user.\n"
    L"The menu needs a display: on Linux, run Wine under xvfb-run.\n"
    L"Exit codes:\n"
    L"   0  done\n"
    L"   1  COM could not start\n"
    L"   2  the command line or its PATH is not usable\n"
    L"   3  --register: the module could not be registered\n"
    L"   4  --screenshot: the picture could not be saved\n"
    L"   5  --choose: the menu closed without a choice\n"
    L"   6  the extension is not registered\n"
    L"   7  the extension is registered but could not be created\n"
    L"   8  the shell or the extension refused PATH\n"
    L"   9  the menu did not open (no display?)\n"
    L"  10  --choose N: the menu has no entry N\n"
    L"  11  --make-sample: the folder could not be created\n";

namespace {

bool is_help(const std::wstring &a)
{
    return a == L"--help" || a == L"-h" || a == L"-?" || a == L"/?";
}

// "N[,M...]": entry numbers, each from 0 to the most a menu can hold.
bool parse_numbers(const std::wstring &text, std::vector<int> *numbers)
{
    size_t start = 0;
    for (;;) {
        size_t comma = text.find(L',', start);
        std::wstring part = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
        wchar_t *end = NULL;
        long n = wcstol(part.c_str(), &end, 10);
        if (part.empty() || *end || n < 0 || n > (long)(last_cmd - first_cmd))
            return false;
        numbers->push_back((int)n);
        if (comma == std::wstring::npos)
            return true;
        start = comma + 1;
    }
}

}  // namespace

parse_result parse(int argc, wchar_t **argv, host_options *o)
{
    for (int i = 1; i < argc; i++) {
        if (is_help(argv[i]))
            return help_asked;
    }
    for (int i = 1; i < argc; i++) {
        std::wstring a = argv[i];
        if (a == L"--register") {
            o->register_first = true;
        } else if (a == L"--close") {
            o->close = true;
        } else if (a == L"--dll" || a == L"--screenshot" || a == L"--make-sample" || a == L"--choose" ||
                   a == L"--open") {
            if (i + 1 >= argc) {
                fail_message(a + L" needs a value");
                return parse_failed;
            }
            std::wstring value = argv[++i];
            if (a == L"--dll") {
                o->dll = value;
            } else if (a == L"--screenshot") {
                o->screenshot = value;
            } else if (a == L"--make-sample") {
                o->sample = value;
            } else if (a == L"--open") {
                if (!parse_numbers(value, &o->open)) {
                    fail_message(L"--open takes entry numbers separated by commas (0 = first)");
                    return parse_failed;
                }
            } else {
                wchar_t *end = NULL;
                long n = wcstol(value.c_str(), &end, 10);
                if (value.empty() || *end || n < 0 || n > (long)(last_cmd - first_cmd)) {
                    fail_message(L"--choose takes an entry number (0 = first)");
                    return parse_failed;
                }
                o->choose = (int)n;
            }
        } else if (a.size() > 1 && a[0] == L'-') {
            fail_message(L"unknown option " + a);
            return parse_failed;
        } else if (o->path.empty()) {
            o->path = a;
        } else {
            fail_message(L"only one path, please");
            return parse_failed;
        }
    }
    if (o->path.empty() && o->sample.empty()) {
        fail_message(L"no PATH given");
        return parse_failed;
    }
    return parsed;
}

