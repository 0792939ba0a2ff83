// Driving another program's windows from a test: real mouse input, and the
// controls' own messages where input does not reach.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

// Moves the pointer to the centre of `window` and clicks the left button
// there with real input (SendInput).
void click(HWND window);
// Sets an edit box's text as typing would leave it: WM_SETTEXT, then the
// EN_CHANGE notification to its parent that typing sends (a window must
// take a repeated EN_CHANGE in its stride).
void set_edit_text(HWND edit, const std::wstring &text);
// Chooses entry `index` of a drop-down list as the user would: CB_SETCURSEL
// and the CBN_SELCHANGE notification to its parent.
void choose_entry(HWND combo_box, int index);

std::wstring window_text(HWND window);
std::wstring class_name(HWND window);
// A visible top-level window of process `process_id` with this class and
// owner (null: none), waited for up to `within_ms`; null if none came.
HWND wait_for_window(DWORD process_id, const wchar_t *window_class, HWND owner, DWORD within_ms = 20000);
// Checks `condition` every 20 ms until it holds; false after `within_ms`.
bool wait_until(const std::function<bool()> &condition, DWORD within_ms = 10000);
