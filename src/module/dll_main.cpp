// Module entry.
#include <windows.h>
#include "common/module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
    } else if (reason == DLL_PROCESS_DETACH) {
        // A hook left behind would call into unloaded code: remove both
        // hooks of every thread, not only the calling thread's.
        qv_unhook_all();
    }
    return TRUE;
}
