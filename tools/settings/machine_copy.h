// "For all users...": where a window that is not elevated sends the user.
// Only the copy of this program installed for all users, under Program
// Files, which only administrators can change, is ever started as
// administrator; a copy in a folder its user can write (the per-user
// package's, in the user's LocalAppData) never is, as anything the user runs
// could put a library beside it.
#pragma once
#include <windows.h>
#include <string>

// The settings program of the install for all users: qv-settings.exe beside
// the module registered for all users (HKEY_LOCAL_MACHINE), when that
// folder lies under Program Files and the program is there.  False if none.
bool machine_copy_path(std::wstring *path);

// Starts the install for all users' settings window as administrator and
// returns true once it started (the caller closes this window).  Without
// such an install, says how an administrator sets the values of all users
// and returns false; false as well when the user declined the prompt.
bool start_machine_copy(HWND dialog);

// Opens the home page from the window's link.  An elevated window opens no
// browser, which would run as administrator too: it shows the address.
void open_home_page(HWND dialog, const wchar_t *address);
