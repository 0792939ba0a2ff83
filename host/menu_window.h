// The menu host's window and the menu's modal loop.
#pragma once
#include <windows.h>
#include <shobjidl.h>
#include "host_options.h"

// Asks the extension for its menu beside stand-ins of the shell's own
// entries, opens it, prints it from inside its loop and does what `options`
// ask (--open, --screenshot, --choose, --close); a chosen entry is invoked.
// `options.path` is the full path shown.  Returns an exit code.
int show_menu(IContextMenu *context_menu, const host_options &options);
