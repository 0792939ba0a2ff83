#include "test_support.h"
#include <shlwapi.h>
#include <stdio.h>
#include <utility>
#include "extension/qv_shellex.h"
#include "listing/listing_job.h"
#include "window_input.h"

std::wstring test_bin_dir()
{
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(NULL, buffer, MAX_PATH);
    std::wstring path(buffer, n);
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring test_dll_path()
{
    return test_bin_dir() + L"\\quorvane-shellex.dll";
}

temp_dir::temp_dir(const wchar_t *tag)
{
    static LONG counter;
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t name[64];
    swprintf(name, 64, L"%ls-%lu-%ld", tag, GetCurrentProcessId(), InterlockedIncrement(&counter));
    path_ = std::wstring(base) + name;
    if (!path_.empty() && path_.back() == L'\\')
        path_.pop_back();
    remove_tree(path_);
    CreateDirectoryW(path_.c_str(), NULL);
}

temp_dir::~temp_dir()
{
    remove_tree(path_);
}

bool write_file(const std::wstring &path, const std::string &content)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == content.size();
}

bool make_dir(const std::wstring &path)
{
    return CreateDirectoryW(path.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void remove_tree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                remove_tree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(path.c_str());
}

std::string read_file(const std::wstring &path)
{
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool test_dll_loaded()
{
    return GetModuleHandleW(test_dll_path().c_str()) != NULL;
}

bool test_dll_unloads(DWORD within_ms)
{
    return wait_until(
        [] {
            CoFreeUnusedLibrariesEx(0, 0);
            return !test_dll_loaded();
        },
        within_ms);
}

std::string wait_for_file(const std::wstring &path, bool remove)
{
    for (int i = 0; i < 600; i++) {
        std::string content = read_file(path);
        if (!content.empty()) {
            if (remove)
                DeleteFileW(path.c_str());
            return content;
        }
        Sleep(50);
    }
    return "";
}

std::vector<std::wstring> enumerated_names(const std::wstring &folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (wcscmp(found.cFileName, L".") != 0 && wcscmp(found.cFileName, L"..") != 0)
            names.push_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

IDataObject *shell_data_object(const std::vector<std::wstring> &paths)
{
    if (paths.empty())
        return nullptr;
    std::vector<PIDLIST_ABSOLUTE> absolute;
    for (const std::wstring &p : paths) {
        PIDLIST_ABSOLUTE pidl = nullptr;
        if (FAILED(SHParseDisplayName(p.c_str(), NULL, &pidl, 0, NULL)) || !pidl) {
            for (PIDLIST_ABSOLUTE a : absolute)
                CoTaskMemFree(a);
            return nullptr;
        }
        absolute.push_back(pidl);
    }
    IShellFolder *parent = nullptr;
    PCUITEMID_CHILD child = nullptr;
    IDataObject *object = nullptr;
    if (SUCCEEDED(SHBindToParent(absolute[0], IID_IShellFolder, (void **)&parent, &child))) {
        std::vector<PCUITEMID_CHILD> children;
        for (PIDLIST_ABSOLUTE a : absolute)
            children.push_back(ILFindLastID(a));
        parent->GetUIObjectOf(NULL, (UINT)children.size(), children.data(), IID_IDataObject, NULL, (void **)&object);
        parent->Release();
    }
    for (PIDLIST_ABSOLUTE a : absolute)
        CoTaskMemFree(a);
    return object;
}

namespace {
// A data object answering CF_HDROP requests with whatever its supplier hands out.
class supplied_object : public IDataObject {
public:
    explicit supplied_object(std::function<HRESULT(STGMEDIUM *)> supply) : refs_(1), supply_(std::move(supply)) {}
    virtual ~supplied_object() {}
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --refs_;
        if (!n)
            delete this;
        return n;
    }
    STDMETHODIMP GetData(FORMATETC *format, STGMEDIUM *medium) override
    {
        if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
            return DV_E_FORMATETC;
        return supply_(medium);
    }
    STDMETHODIMP GetDataHere(FORMATETC *, STGMEDIUM *) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC *format) override { return format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC *, FORMATETC *out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC *, STGMEDIUM *, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC **out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DAdvise(FORMATETC *, DWORD, IAdviseSink *, DWORD *) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA **) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ULONG refs_;
    std::function<HRESULT(STGMEDIUM *)> supply_;
};
} // namespace

IDataObject *supplied_data_object(std::function<HRESULT(STGMEDIUM *)> supply)
{
    return new supplied_object(std::move(supply));
}

IDataObject *hglobal_data_object(const std::string &block)
{
    return supplied_data_object([block](STGMEDIUM *medium) {
        HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, block.size());
        if (!copy)
            return E_OUTOFMEMORY;
        memcpy(GlobalLock(copy), block.data(), block.size());
        GlobalUnlock(copy);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = copy;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    });
}

std::string drop_block(const std::vector<std::wstring> &paths)
{
    DROPFILES header = {};
    header.pFiles = sizeof(DROPFILES);
    header.fWide = TRUE;
    std::wstring names;
    for (const std::wstring &p : paths)
        names += p + L'\0';
    names += L'\0';
    return std::string((const char *)&header, sizeof(header)) +
           std::string((const char *)names.data(), names.size() * sizeof(wchar_t));
}

IDataObject *hdrop_data_object(const std::vector<std::wstring> &paths)
{
    return hglobal_data_object(drop_block(paths));
}

bool make_shortcut(const std::wstring &lnk, const std::wstring &target, const std::wstring &icon)
{
    IShellLinkW *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&link)))
        return false;
    IPersistFile *file = nullptr;
    bool ok = SUCCEEDED(link->SetPath(target.c_str())) &&
              (icon.empty() || SUCCEEDED(link->SetIconLocation(icon.c_str(), 0))) &&
              SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
              SUCCEEDED(file->Save(lnk.c_str(), TRUE));
    if (file)
        file->Release();
    link->Release();
    return ok;
}

// An inheritable temporary file for a child's output, gone when closed.
static HANDLE output_file()
{
    wchar_t dir[MAX_PATH], name[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    if (!GetTempFileNameW(dir, L"out", 0, name))
        return INVALID_HANDLE_VALUE;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, NULL);
}

static std::string read_back(HANDLE file)
{
    std::string text;
    if (file == INVALID_HANDLE_VALUE)
        return text;
    SetFilePointer(file, 0, NULL, FILE_BEGIN);
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, NULL) && got)
        text.append(buffer, got);
    return text;
}

DWORD run_process(const std::wstring &command_line, std::string *out, std::string *err, DWORD timeout_ms)
{
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    HANDLE out_file = out ? output_file() : INVALID_HANDLE_VALUE;
    HANDLE err_file = err ? output_file() : INVALID_HANDLE_VALUE;
    bool redirect = out || err;
    if (redirect) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out ? out_file : GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = err ? err_file : GetStdHandle(STD_ERROR_HANDLE);
    }
    PROCESS_INFORMATION process = {};
    DWORD code = (DWORD)-1;
    if (CreateProcessW(NULL, line.data(), NULL, NULL, redirect, 0, NULL, NULL, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
            GetExitCodeProcess(process.hProcess, &code);
        } else {
            fprintf(stderr, "run_process: %ls did not end in %lu ms\n", command_line.c_str(), timeout_ms);
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        fprintf(stderr, "run_process: cannot start %ls (error %lu)\n", command_line.c_str(), GetLastError());
    }
    if (out)
        *out = read_back(out_file);
    if (err)
        *err = read_back(err_file);
    for (HANDLE file : {out_file, err_file}) {
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return code;
}

DWORD run_process(const std::wstring &command_line, DWORD timeout_ms)
{
    return run_process(command_line, nullptr, nullptr, timeout_ms);
}

DWORD run_regsvr32(const std::wstring &dll, const wchar_t *extra)
{
    std::wstring line = L"regsvr32.exe /s ";
    line += extra;
    if (*extra)
        line += L" ";
    line += L"\"" + dll + L"\"";
    return run_process(line);
}

bool reg_key_exists(HKEY root, const std::wstring &key)
{
    HKEY handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

bool reg_read_string(HKEY root, const std::wstring &key, const wchar_t *name, std::wstring *value, DWORD *type)
{
    wchar_t buffer[2048];
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD got_type = 0;
    if (SHGetValueW(root, key.c_str(), name, &got_type, buffer, &size) != ERROR_SUCCESS)
        return false;
    buffer[size / sizeof(wchar_t)] = 0;
    if (value)
        *value = buffer;
    if (type)
        *type = got_type;
    return true;
}

bool reg_set_value(HKEY root, const std::wstring &key, const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    return SHSetValueW(root, key.c_str(), name, type, data, size) == ERROR_SUCCESS;
}

bool reg_set_dword(HKEY root, const std::wstring &key, const wchar_t *name, DWORD value)
{
    return reg_set_value(root, key, name, REG_DWORD, &value, sizeof(value));
}

void reg_delete_tree(HKEY root, const std::wstring &key)
{
    SHDeleteKeyW(root, key.c_str());
}

static void snapshot_key(HKEY handle, const std::wstring &path, std::vector<std::wstring> *lines)
{
    lines->push_back(path);
    std::vector<wchar_t> name(16384);
    std::vector<BYTE> data(65536);
    for (DWORD i = 0;; i++) {
        DWORD name_size = (DWORD)name.size(), data_size = (DWORD)data.size(), type = 0;
        LONG result = RegEnumValueW(handle, i, name.data(), &name_size, NULL, &type, data.data(), &data_size);
        if (result == ERROR_MORE_DATA && data_size > data.size()) {
            data.resize(data_size);
            i--;
            continue;
        }
        if (result != ERROR_SUCCESS)
            break;
        std::wstring line = path + L"|" + std::wstring(name.data(), name_size) + L"|" + std::to_wstring(type) + L"|";
        static const wchar_t digits[] = L"0123456789abcdef";
        for (DWORD b = 0; b < data_size; b++) {
            line += digits[data[b] >> 4];
            line += digits[data[b] & 15];
        }
        lines->push_back(line);
    }
    for (DWORD i = 0;; i++) {
        DWORD name_size = (DWORD)name.size();
        if (RegEnumKeyExW(handle, i, name.data(), &name_size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        std::wstring sub(name.data(), name_size);
        HKEY child;
        if (RegOpenKeyExW(handle, sub.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
            snapshot_key(child, path + L"\\" + sub, lines);
            RegCloseKey(child);
        } else {
            lines->push_back(path + L"\\" + sub + L" (unreadable)");
        }
    }
}

std::vector<std::wstring> reg_snapshot(HKEY root, const std::wstring &key)
{
    std::vector<std::wstring> lines;
    HKEY handle;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return lines;
    snapshot_key(handle, key, &lines);
    RegCloseKey(handle);
    return lines;
}

static const wchar_t settings_key[] = L"Software\\Quorvane\\Shellex";
static const wchar_t policy_key[] = L"Software\\Policies\\Quorvane\\Shellex";

static void clear_settings()
{
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const wchar_t *key : {settings_key, policy_key})
            reg_delete_tree(hive, key);
}

settings_scope::settings_scope()
{
    clear_settings();
}

settings_scope::~settings_scope()
{
    clear_settings();
}

void settings_scope::set(const wchar_t *name, DWORD value)
{
    reg_set_dword(HKEY_LOCAL_MACHINE, settings_key, name, value);
}

void settings_scope::set_user(const wchar_t *name, DWORD value)
{
    reg_set_dword(HKEY_CURRENT_USER, settings_key, name, value);
}

void settings_scope::set_policy(HKEY hive, const wchar_t *name, DWORD value)
{
    reg_set_dword(hive, policy_key, name, value);
}

bool listing_workers_end(DWORD within_ms)
{
    for (DWORD waited = 0; listing_workers() != 0; waited += 20) {
        if (waited >= within_ms)
            return false;
        Sleep(20);
    }
    return true;
}

qv_config default_settings()
{
    return qv_config{0, 100, 0, 0, 0, 0, 1, 300, 0, 0};
}

qv_shellex *listed_object_for(const std::wstring &folder, DWORD hide_file_extension)
{
    qv_shellex *ext = qv_shellex::create();
    wcsncpy(ext->path, folder.c_str(), MAX_PATH - 1);
    ext->config = default_settings();
    ext->config.HideFileExtension = hide_file_extension;
    ext->desktop_ok = 1;
    // These tests look at the whole listing, however long it takes.
    ext->config.ListingTimeLimit = 0;
    return ext;
}

bool reserve_menu(qv_shellex *ext, HMENU menu, UINT first_cmd, UINT last_cmd)
{
    qv_menu_source source = {&ext->list, &ext->config, ext->path, ext->desktop_ok != 0};
    return session_start(&ext->session, source, menu, first_cmd, last_cmd, 0);
}
