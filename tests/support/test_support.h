// Helpers shared by the test programs: files and folders, the registry,
// shell data objects and the built module.
#pragma once
#include <windows.h>
#include <shlobj.h>
#include "common/qv_config.h"
#include <functional>
#include <string>
#include <vector>

// Folder of the running test program (ends without a backslash).
std::wstring test_bin_dir();
// Full path of the built quorvane-shellex.dll beside the test program.
std::wstring test_dll_path();
// Whether this process has the module under test loaded.
bool test_dll_loaded();
// Asks COM to unload idle modules, again and again, until the module under
// test is gone (a listing worker on its way out keeps it a moment longer);
// false if it is still loaded after `within_ms`.
bool test_dll_unloads(DWORD within_ms);

// A fresh folder under the temporary folder, removed with all its content
// when the object goes.
class temp_dir {
public:
    explicit temp_dir(const wchar_t *tag = L"qv");
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    const std::wstring &path() const { return path_; }
    // path() + "\" + name
    std::wstring operator/(const std::wstring &name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// Writes `content` to `path`, creating or replacing the file.
bool write_file(const std::wstring &path, const std::string &content = "x");
bool make_dir(const std::wstring &path);
// Deletes a folder and everything below it.
void remove_tree(const std::wstring &path);
std::string read_file(const std::wstring &path);
// Waits, for a bounded time, for a file that another process writes and
// renames into place, and returns its content ("" if it never came within
// 30 s).  The writer's rename may hold the file open for a moment after it
// appears: a read that finds nothing is tried again.  `remove` deletes the
// file once read.
std::string wait_for_file(const std::wstring &path, bool remove = false);
// The names FindFirstFileW and FindNextFileW give for `folder`, in their
// order, without "." and "..".
std::vector<std::wstring> enumerated_names(const std::wstring &folder);

// A data object for items, built by the shell itself as Explorer does
// (IShellFolder::GetUIObjectOf on the items' parent folder).  All items must
// share one parent.  Returns null on failure.
IDataObject *shell_data_object(const std::vector<std::wstring> &paths);
// A data object that carries exactly the given CF_HDROP file list, for paths
// the shell would not parse (trailing backslashes, missing files).
IDataObject *hdrop_data_object(const std::vector<std::wstring> &paths);
// The bytes of a wide CF_HDROP block listing `paths`.
std::string drop_block(const std::vector<std::wstring> &paths);
// A data object handing out a fresh HGLOBAL copy of `block` for CF_HDROP.
IDataObject *hglobal_data_object(const std::string &block);
// A data object whose CF_HDROP GetData returns what `supply` returns, with
// the medium `supply` fills in: as another program's data object might.
IDataObject *supplied_data_object(std::function<HRESULT(STGMEDIUM *)> supply);

// Saves a shell link at `lnk` that points to `target`, with the icon of
// `icon` when given (IShellLinkW + IPersistFile::Save).  Wine stores only an
// ANSI path: keep targets ASCII.
bool make_shortcut(const std::wstring &lnk, const std::wstring &target, const std::wstring &icon = L"");

// Runs a program to its end and returns its exit code (or -1).
DWORD run_process(const std::wstring &command_line, DWORD timeout_ms = 60000);
// The same, keeping what the program wrote to standard output and standard
// error (either pointer may be null).
DWORD run_process(const std::wstring &command_line, std::string *out, std::string *err, DWORD timeout_ms = 60000);
// regsvr32 /s [extra] "dll"; returns its exit code.
DWORD run_regsvr32(const std::wstring &dll, const wchar_t *extra = L"");

// Registry helpers (64-bit view).
bool reg_key_exists(HKEY root, const std::wstring &key);
// Reads a REG_SZ value; `type` receives the value's type when given.
bool reg_read_string(HKEY root, const std::wstring &key, const wchar_t *name, std::wstring *value, DWORD *type = nullptr);
bool reg_set_dword(HKEY root, const std::wstring &key, const wchar_t *name, DWORD value);
bool reg_set_value(HKEY root, const std::wstring &key, const wchar_t *name, DWORD type, const void *data, DWORD size);
void reg_delete_tree(HKEY root, const std::wstring &key);
// Every key and value below `key` (itself included), one line each:
// "path" for a key, "path|name|type|data in hex" for a value.  Empty when
// the key does not exist.  Compare two to see what a program changed.
std::vector<std::wstring> reg_snapshot(HKEY root, const std::wstring &key);

// Removes Software\Quorvane\Shellex and Software\Policies\Quorvane\Shellex
// of HKLM and of HKCU now and when the object goes.
class settings_scope {
public:
    settings_scope();
    ~settings_scope();
    // A REG_DWORD for all users (HKLM).
    void set(const wchar_t *name, DWORD value);
    // A REG_DWORD for the current user (HKCU).
    void set_user(const wchar_t *name, DWORD value);
    // A REG_DWORD policy of `hive` (HKLM: the computer's, HKCU: the user's).
    void set_policy(HKEY hive, const wchar_t *name, DWORD value);
};

// The settings as they are when the registry holds none.
qv_config default_settings();

// Waits until no listing worker of this program's copy of the module code
// runs any more; false if one still runs after `within_ms`.
bool listing_workers_end(DWORD within_ms = 60000);

class qv_shellex;
// An extension object set up as Initialize leaves it for `folder` with the
// default settings (HideFileExtension as given, and no time limit on the
// listing), without going through a data object.
qv_shellex *listed_object_for(const std::wstring &folder, DWORD hide_file_extension = 1);
// Reserves `menu` for the object's listing as its QueryContextMenu would,
// without listing anything (no submenu identifiers).
bool reserve_menu(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd);
