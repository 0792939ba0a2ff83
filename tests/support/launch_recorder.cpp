#include "launch_recorder.h"
#include <shellapi.h>
#include "menu/shell_open.h"

static launch_recorder *g_recorder;

static std::wstring text_or_empty(LPCWSTR text)
{
    return text ? text : L"";
}

static HINSTANCE WINAPI record(HWND hwnd, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, INT show)
{
    launch_recorder *r = g_recorder;
    INT_PTR result = 42;
    if (r->pass_through)
        result = (INT_PTR)ShellExecuteW(hwnd, verb, file, parameters, directory, show);
    else if (r->launches.size() < r->planned_results.size())
        result = r->planned_results[r->launches.size()];
    r->launches.push_back({verb != NULL, text_or_empty(verb), text_or_empty(file), text_or_empty(parameters),
                           text_or_empty(directory), parameters != NULL, show, result});
    return (HINSTANCE)result;
}

launch_recorder::launch_recorder()
{
    g_recorder = this;
    g_shell_execute = record;
}

launch_recorder::~launch_recorder()
{
    g_shell_execute = ShellExecuteW;
    g_recorder = nullptr;
}
