// What the menu host was asked to do: its command line and its exit codes.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Exit codes; the usage text and docs/building.md list the same.
enum exit_code {
    exit_ok = 0,
    exit_no_com = 1,           // COM could not start
    exit_bad_arguments = 2,    // the command line or its PATH is not usable
    exit_register_failed = 3,  // --register: the module could not be registered
    exit_no_picture = 4,       // --screenshot: the picture could not be saved
    exit_not_chosen = 5,       // --choose: the menu closed without a choice
    exit_not_registered = 6,   // the extension is not registered (and no --register)
    exit_not_created = 7,      // registered, but the extension could not be created
    exit_refused = 8,          // the shell or the extension refused PATH
    exit_no_menu = 9,          // the menu did not open (no display)
    exit_no_entry = 10,        // --choose N: the menu has no entry N
    exit_no_sample = 11,       // --make-sample: the folder could not be created
};

// The identifiers the host hands QueryContextMenu; entry N of the menu has
// identifier first_cmd + N, so entry numbers stop at last_cmd - first_cmd.
const UINT first_cmd = 100;
const UINT last_cmd = 0x7FFF;

struct host_options {
    bool register_first = false;
    bool close = false;
    int choose = -1;
    std::vector<int> open;  // --open: entry numbers down the submenus
    std::wstring dll;
    std::wstring screenshot;
    std::wstring path;
    std::wstring sample;
};

extern const wchar_t usage_text[];

enum parse_result { parsed, help_asked, parse_failed };

// Reads the command line into `o`; a problem is told on standard error.
parse_result parse(int argc, wchar_t **argv, host_options *o);
