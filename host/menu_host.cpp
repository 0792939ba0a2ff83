// qv-menu-host: plays the shell's part for one folder, drive or shortcut.
// It creates the extension by its CLSID through the registry, as Explorer
// does, opens the real context menu, prints it, and optionally saves a
// picture of it or chooses an entry.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <string>
#include <vector>
#include "common/qv_clsid.h"
#include "host_output.h"
#include "menu_dump.h"
#include "sample_folder.h"
#include "screenshot.h"

namespace {

// Exit codes; the usage text and the README list the same.
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

const UINT first_cmd = 100;
const UINT last_cmd = 0x7FFF;
const UINT_PTR open_timer = 1;
const UINT_PTR open_submenu_timer = 2;

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

struct host_state {
    host_options options;
    HMENU menu = NULL;
    int ticks = 0;
    size_t opened = 0;     // submenus of --open opened so far
    HMENU level = NULL;    // the menu the next of them is in
    int level_position = -1;
    bool entered = false;  // the menu's modal loop ran
    bool shown = false;    // the menu was printed from inside that loop
    int exit_code = exit_ok;
} state;

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

bool is_help(const std::wstring &a)
{
    return a == L"--help" || a == L"-h" || a == L"-?" || a == L"/?";
}

enum parse_result { parsed, help_asked, parse_failed };

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

std::wstring exe_dir()
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, buffer, MAX_PATH);
    std::wstring path(buffer, n);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring hex(HRESULT hr)
{
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", (unsigned long)hr);
    return text;
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

// Stand-ins for the entries the shell itself puts into a folder's menu.
HMENU shell_like_menu()
{
    HMENU menu = CreatePopupMenu();
    HMENU send_to = CreatePopupMenu();
    AppendMenuW(send_to, MF_STRING, 4, L"Compressed (zipped) folder");
    AppendMenuW(send_to, MF_STRING, 5, L"Desktop (create shortcut)");
    AppendMenuW(menu, MF_STRING, 1, L"&Open");
    AppendMenuW(menu, MF_STRING, 2, L"Open in new &window");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_POPUP, (UINT_PTR)send_to, L"Se&nd to");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING, 6, L"Cu&t");
    AppendMenuW(menu, MF_STRING, 7, L"&Copy");
    AppendMenuW(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuW(menu, MF_STRING, 8, L"P&roperties");
    return menu;
}

HWND find_popup()
{
    HWND found = NULL;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND w, LPARAM p) -> BOOL {
        wchar_t name[16];
        if (IsWindowVisible(w) && GetClassNameW(w, name, 16) && !wcscmp(name, L"#32768")) {
            *(HWND *)p = w;
            return FALSE;
        }
        return TRUE;
    }, (LPARAM)&found);
    return found;
}

void press(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

void act_on_menu(HWND popup);

// --open: moves the pointer onto the next entry whose submenu is to open,
// then comes back once it had time to open.  Entry N of the top menu has
// identifier first_cmd + N; in a submenu it follows "." and a separator.
void open_next_submenu(HWND window)
{
    KillTimer(window, open_submenu_timer);
    if (state.opened == state.options.open.size()) {
        act_on_menu(find_popup());
        return;
    }
    int n = state.options.open[state.opened];
    bool top = state.opened == 0;
    HMENU level = top ? state.menu : state.level;
    int position = top ? find_menu_position(level, first_cmd + (UINT)n) : n + 2;
    HMENU submenu = position >= 0 ? GetSubMenu(level, position) : NULL;
    POINT aim = submenu ? menu_item_point(top ? window : NULL, level, position) : POINT{-1, -1};
    if (aim.y < 0) {
        fail_message(L"entry " + std::to_wstring(n) + L" opens no submenu (is CascadeFolders 1, and is it a sub-folder?)");
        state.exit_code = exit_no_entry;
        EndMenu();
        return;
    }
    INPUT move = {};
    move.type = INPUT_MOUSE;
    move.mi.dx = (aim.x * 65535) / (GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = (aim.y * 65535) / (GetSystemMetrics(SM_CYSCREEN) - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &move, sizeof(move));
    state.level = submenu;
    state.opened++;
    SetTimer(window, open_submenu_timer, 700, NULL);
}

// Runs inside the menu's modal loop, once the menu is on the screen.
void on_menu_open(HWND window)
{
    HWND popup = find_popup();
    if (!popup && ++state.ticks < 50)
        return;  // not drawn yet
    KillTimer(window, open_timer);
    if (!state.options.open.empty()) {
        open_next_submenu(window);
        return;
    }
    act_on_menu(popup);
}

// Prints the menu as it is open, then saves its picture or chooses.
void act_on_menu(HWND popup)
{
    state.shown = true;
    out(L"Context menu of " + state.options.path + L":\n" + dump_menu(state.menu));
    const host_options &o = state.options;
    if (!o.screenshot.empty()) {
        UpdateWindow(popup);
        RECT rect = {};
        // With submenus open, the picture holds every open menu.
        HRESULT hr = !popup                ? HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE)
                     : o.open.empty()      ? save_window_png(popup, o.screenshot.c_str())
                                           : save_popups_png(o.screenshot.c_str(), &rect);
        if (SUCCEEDED(hr) && (!o.open.empty() || GetWindowRect(popup, &rect))) {
            out(L"picture saved to " + o.screenshot + L" (" + std::to_wstring(rect.right - rect.left) + L" x " +
                std::to_wstring(rect.bottom - rect.top) + L" pixels)\n");
        } else {
            fail_message(L"cannot save a picture to " + o.screenshot + L": " + hex(hr));
            state.exit_code = exit_no_picture;
        }
    }
    if (o.choose >= 0) {
        int position = find_menu_position(state.menu, first_cmd + (UINT)o.choose);
        if (position < 0) {
            fail_message(L"the menu has no entry " + std::to_wstring(o.choose));
            state.exit_code = exit_no_entry;
            EndMenu();
            return;
        }
        // As a user would: down to the entry, then Enter.
        for (int i = 0; i <= position; i++)
            press(VK_DOWN);
        press(VK_RETURN);
    } else if (!o.screenshot.empty() || o.close) {
        EndMenu();
    }
}

LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERMENULOOP)
        state.entered = true;
    if (message == WM_TIMER && wParam == open_timer) {
        on_menu_open(window);
        return 0;
    }
    if (message == WM_TIMER && wParam == open_submenu_timer) {
        open_next_submenu(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int show_menu(IContextMenu *context_menu)
{
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = host_window_proc;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = L"qv-menu-host";
    RegisterClassW(&window_class);
    HWND window = CreateWindowExW(0, L"qv-menu-host", L"qv-menu-host", WS_POPUP, 0, 0, 1, 1, NULL, NULL,
                                  window_class.hInstance, NULL);
    DWORD error = window ? 0 : GetLastError();
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);

    state.menu = shell_like_menu();
    HRESULT hr = context_menu->QueryContextMenu(state.menu, 0, first_cmd, last_cmd, CMF_NORMAL);
    UINT reserved = SUCCEEDED(hr) ? HRESULT_CODE(hr) : 0;
    out(L"QueryContextMenu reserved " + std::to_wstring(reserved) + L" identifiers\n");

    UINT chosen = 0;
    if (window) {
        SetTimer(window, open_timer, 100, NULL);
        chosen = (UINT)TrackPopupMenuEx(state.menu, TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN, 10, 10, window, NULL);
        error = GetLastError();
        PostMessageW(window, WM_NULL, 0, 0);
    }
    if (!state.entered) {
        // Without a display there is no window to own the menu, or no
        // screen to put it on.
        fail_message(L"the menu did not open" + (error ? L" (error " + std::to_wstring(error) + L")" : L"") +
                     L": it needs a display; on Linux, run Wine under xvfb-run");
        state.exit_code = exit_no_menu;
    } else if (!state.shown) {
        out(L"Context menu of " + state.options.path + L":\n" + dump_menu(state.menu));
    }

    if (chosen >= first_cmd && chosen < first_cmd + reserved) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof(info);
        info.hwnd = window;
        info.lpVerb = MAKEINTRESOURCEA(chosen - first_cmd);
        info.nShow = SW_SHOWNORMAL;
        hr = context_menu->InvokeCommand(&info);
        out(L"chose entry " + std::to_wstring(chosen - first_cmd) + L": InvokeCommand returned " + hex(hr) + L"\n");
    } else if (chosen) {
        out(L"chose shell item " + std::to_wstring(chosen) + L"\n");
    } else if (state.options.choose >= 0 && state.exit_code == exit_ok) {
        fail_message(L"nothing was chosen");
        state.exit_code = exit_not_chosen;
    }
    DestroyMenu(state.menu);
    if (window)
        DestroyWindow(window);
    return state.exit_code;
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

int run(const host_options &o)
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
    state.options.path = full;
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
        result = show_menu(context_menu);
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
    switch (parse(argc, argv, &state.options)) {
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
    int result = run(state.options);
    CoFreeUnusedLibraries();
    OleUninitialize();
    return result;
}
