#include "sample_folder.h"
#include <windows.h>
#include <shlobj.h>

static bool write_text(const std::wstring &path, const char *text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written;
    WriteFile(file, text, (DWORD)strlen(text), &written, NULL);
    CloseHandle(file);
    return true;
}

static bool make_shortcut(const std::wstring &link, const std::wstring &target)
{
    IShellLinkW *shell_link = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW, (void **)&shell_link)))
        return false;
    IPersistFile *file = NULL;
    bool ok = SUCCEEDED(shell_link->SetPath(target.c_str())) &&
              SUCCEEDED(shell_link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
              SUCCEEDED(file->Save(link.c_str(), TRUE));
    if (file)
        file->Release();
    shell_link->Release();
    return ok;
}

bool make_sample_folder(const std::wstring &dir)
{
    CreateDirectoryW(dir.c_str(), NULL);
    if (!(GetFileAttributesW(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    const wchar_t *folders[] = {L"Documents", L"Projects", L"Music"};
    for (const wchar_t *name : folders)
        CreateDirectoryW((dir + L"\\" + name).c_str(), NULL);
    write_text(dir + L"\\Documents\\letter.txt", "Dear reader,\r\n");
    write_text(dir + L"\\Projects\\plan.txt", "1. List the folder.\r\n");
    // A folder two levels down, for the menu with sub-folders as submenus.
    CreateDirectoryW((dir + L"\\Projects\\Launcher").c_str(), NULL);
    write_text(dir + L"\\Projects\\Launcher\\design.txt", "Submenus open as they are reached.\r\n");
    write_text(dir + L"\\Projects\\Launcher\\build.bat", "@echo off\r\n");
    bool ok = write_text(dir + L"\\readme.txt", "A sample folder for the launcher menu.\r\n") &&
              write_text(dir + L"\\notes.ini", "[notes]\r\n") &&
              write_text(dir + L"\\start.bat", "@echo off\r\necho started\r\n") &&
              write_text(dir + L"\\page.html", "<p>hello</p>\r\n");
    // Left out of the menu: a hidden file, a module and compiled Python.
    std::wstring hidden = dir + L"\\hidden-settings.txt";
    ok = ok && write_text(hidden, "hidden\r\n") && SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ok = ok && write_text(dir + L"\\helper.dll", "MZ") && write_text(dir + L"\\cache.pyc", "");
    // A shortcut, shown without its ".lnk".
    ok = ok && make_shortcut(dir + L"\\Projects shortcut.lnk", dir + L"\\Projects");
    return ok;
}
