// qv-menu-host: plays the shell's part for one folder, drive or shortcut.
// It creates the extension by its CLSID through the registry, as Explorer
// does, opens the real context menu, prints it, and optionally saves a
// picture of it or chooses an entry.  Here: the entry point and the
// extension's creation; host_command_line.cpp reads the options and
// menu_window.cpp runs the menu.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string>
#include "common/qv_clsid.h"
#include "host_options.h"
#include "host_output.h"
#include "menu_window.h"
#include "sample_folder.h"

namespace {

std::wstring exe_dir()
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, buffer, MAX_PATH);
    std::wstring path(buffer, n);
    return path.substr(0, path.find_last_of(L'\\'));
}

// Registers the module the way regsvr32 does.
bool register_module(const std::wstring &dll)
{
    // By its full path: the search, System32's alone, would not find a
    // relative one.
    wchar_t full[MAX_PATH];
    DWORD length = GetFullPathNameW(dll.c_str(), MAX_PATH, full, NULL);
    HMODULE module = length && length < MAX_PATH ? LoadLibraryW(full) : NULL;
    if (!module) {
        fail_message(L"cannot load " + dll + L" (error " + std::to_wstring(GetLastError()) + L")");
        return false;
    }
    typedef HRESULT(WINAPI * register_fn)(void);
    register_fn reg = (register_fn)(void *)GetProcAddress(module, "DllRegisterServer");
    HRESULT hr = reg ? reg() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    FreeLibrary(module);
    if (FAILED(hr)) {
        fail_message(L"cannot register " + dll + L": " + hex(hr));
        return false;
    }
    out(L"registered " + dll + L"\n");
    return true;
}

// The data object the shell hands to context-menu handlers for one item.
IDataObject *data_object_for(const std::wstring &path)
{
    PIDLIST_ABSOLUTE pidl = NULL;
    if (FAILED(SHParseDisplayName(path.c_str(), NULL, &pidl, 0, NULL)))
        return NULL;
    IShellFolder *parent = NULL;
    PCUITEMID_CHILD child = NULL;
    IDataObject *object = NULL;
    if (SUCCEEDED(SHBindToParent(pidl, IID_IShellFolder, (void **)&parent, &child))) {
        parent->GetUIObjectOf(NULL, 1, &child, IID_IDataObject, NULL, (void **)&object);
        parent->Release();
    }
    CoTaskMemFree(pidl);
    return object;
}

// Where the registry says the extension's module is, or "".
std::wstring registered_module()
{
    wchar_t path[MAX_PATH] = L"";
    DWORD size = sizeof(path);
    if (RegGetValueW(HKEY_CLASSES_ROOT, L"CLSID\\" QV_CLSID_STRING L"\\InprocServer32", NULL,
                     RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, NULL, path, &size) != ERROR_SUCCESS)
        return L"";
    return path;
}

bool class_not_registered(HRESULT hr)
{
    return hr == REGDB_E_CLASSNOTREG || hr == REGDB_E_KEYMISSING || hr == REGDB_E_READREGDB;
}

// `o.path` becomes the full path once it is known: messages and the menu show it.
int run(host_options o)
{
    if (!o.sample.empty()) {
        if (!make_sample_folder(o.sample)) {
            fail_message(L"cannot create the sample folder " + o.sample);
            return exit_no_sample;
        }
        out(L"sample folder created: " + o.sample + L"\n");
        if (o.path.empty())
            return exit_ok;
    }
    wchar_t full[MAX_PATH];
    DWORD n = GetFullPathNameW(o.path.c_str(), MAX_PATH, full, NULL);
    if (n == 0 || n >= MAX_PATH) {
        fail_message(L"not a usable path: " + o.path);
        return exit_bad_arguments;
    }
    o.path = full;
    DWORD attributes = GetFileAttributesW(full);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        fail_message(L"no such file or folder: " + o.path);
        return exit_bad_arguments;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && lstrcmpiW(PathFindExtensionW(full), L".lnk") != 0) {
        fail_message(L"not a folder, drive or shortcut: " + o.path);
        return exit_bad_arguments;
    }

    if (o.register_first && !register_module(o.dll.empty() ? exe_dir() + L"\\quorvane-shellex.dll" : o.dll))
        return exit_register_failed;
    IContextMenu *context_menu = NULL;
    HRESULT hr = CoCreateInstance(CLSID_QuorvaneShellex, NULL, CLSCTX_INPROC_SERVER, IID_IContextMenu,
                                  (void **)&context_menu);
    if (class_not_registered(hr)) {
        fail_message(L"the extension " QV_CLSID_STRING L" is not registered (" + hex(hr) +
                     L").\nRegister it as administrator with\n    regsvr32 quorvane-shellex.dll\n"
                     L"or let this program do it with --register.");
        return exit_not_registered;
    }
    if (FAILED(hr)) {
        std::wstring module = registered_module();
        std::wstring where;
        if (!module.empty() && GetFileAttributesW(module.c_str()) == INVALID_FILE_ATTRIBUTES)
            where = L"\nThe registered module " + module + L" is missing: register the extension again.";
        else if (!module.empty())
            where = L" (registered module: " + module + L")";
        fail_message(L"cannot create the extension " QV_CLSID_STRING L": " + hex(hr) + where);
        return exit_not_created;
    }

    int result = exit_refused;
    IShellExtInit *init = NULL;
    IDataObject *data = data_object_for(full);
    if (!data) {
        fail_message(L"the shell has no data object for " + o.path);
    } else if (FAILED(hr = context_menu->QueryInterface(IID_IShellExtInit, (void **)&init)) ||
               FAILED(hr = init->Initialize(NULL, data, NULL))) {
        fail_message(L"the extension refused " + o.path + L": " + hex(hr));
    } else {
        result = show_menu(context_menu, o);
    }
    if (init)
        init->Release();
    if (data)
        data->Release();
    context_menu->Release();
    return result;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    // Before anything loads a library: System32's only, never one planted
    // beside this program or in the folder it runs in.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    host_options options;
    switch (parse(argc, argv, &options)) {
    case help_asked:
        out(usage_text);
        return exit_ok;
    case parse_failed:
        err(usage_text);
        return exit_bad_arguments;
    case parsed:
        break;
    }
    HRESULT hr = OleInitialize(NULL);
    if (FAILED(hr)) {
        fail_message(L"cannot start COM: " + hex(hr));
        return exit_no_com;
    }
    int result = run(options);
    CoFreeUnusedLibraries();
    OleUninitialize();
    return result;
}
