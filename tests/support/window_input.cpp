#include "window_input.h"
#include "popup.h"

void click(HWND window)
{
    RECT rect;
    GetWindowRect(window, &rect);
    mouse_at({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
}

namespace {

// The notification a control sends its parent when the user changes it.
void notify_parent(HWND control, WORD code)
{
    HWND parent = GetParent(control);
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code), (LPARAM)control);
}

}  // namespace

void set_edit_text(HWND edit, const std::wstring &text)
{
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)text.c_str());
    notify_parent(edit, EN_CHANGE);
}

void choose_entry(HWND combo_box, int index)
{
    SendMessageW(combo_box, CB_SETCURSEL, (WPARAM)index, 0);
    notify_parent(combo_box, CBN_SELCHANGE);
}

std::wstring window_text(HWND window)
{
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

std::wstring class_name(HWND window)
{
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

namespace {

struct window_search {
    DWORD process_id;
    const wchar_t *window_class;
    HWND owner;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param)
{
    window_search *search = (window_search *)param;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->process_id && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search->owner &&
        class_name(window) == search->window_class) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND wait_for_window(DWORD process_id, const wchar_t *window_class, HWND owner, DWORD within_ms)
{
    window_search search = {process_id, window_class, owner, NULL};
    wait_until(
        [&] {
            EnumWindows(match_window, (LPARAM)&search);
            return search.found != NULL;
        },
        within_ms);
    return search.found;
}

bool wait_until(const std::function<bool()> &condition, DWORD within_ms)
{
    for (DWORD waited = 0;; waited += 20) {
        if (condition())
            return true;
        if (waited >= within_ms)
            return false;
        Sleep(20);
    }
}
