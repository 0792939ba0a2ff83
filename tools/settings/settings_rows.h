// The rows of the settings window: what each row's control shows, how that
// compares with the values stored, and where each value comes from.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "number_text.h"
#include "setting_texts.h"
#include "settings_store.h"

struct settings_window {
    std::vector<stored_setting> stored;  // as the registry held them at the last reading
    bool filling = false;  // the window itself is setting the controls
    const wchar_t *picture = nullptr;
};

setting_text text_of(const settings_window &w, unsigned i);

// A row the user can change: shown, and not set by a policy.
bool editable(const settings_window &w, unsigned i);

// The text of the dialog's control `id`.
std::wstring control_text(HWND dialog, int id);

// The label of setting `i` without its mnemonic and colon, for messages.
std::wstring plain_label(HWND dialog, unsigned i, setting_kind kind);

// What the control of row `i` holds, checked against the setting's range.
number_check shown_value(HWND dialog, const settings_window &w, unsigned i, DWORD *value);

// Whether the control's `shown` value stands for the `stored` one: a check
// box shows every non-zero value as on, a choice every value past the last
// as the last.
bool shows(setting_kind kind, DWORD shown, DWORD stored);

// Whether "For all users" is ticked.
bool for_all_users(HWND dialog);

// Whether OK or Apply would change the user's own value of row `i`.
bool changed(HWND dialog, const settings_window &w, unsigned i);

// Shows where each value comes from and enables Apply when there is
// something to write.
void show_state(HWND dialog, const settings_window &w);

// Every row as the registry holds it; a row set by a policy cannot be
// changed here.
void read_registry(HWND dialog, settings_window &w);

// Row `i` back to the value the user gets without a value of their own.
void take_default(HWND dialog, settings_window &w, unsigned i);
