// Module-wide state.
#include "common/module_state.h"

HINSTANCE g_module;
LONG volatile OutstandingObjects;
LONG volatile g_module_users;
