// Module entry.
#include <windows.h>
#include "common/module_state.h"
#include "listing/item_pictures.h"
#include "listing/kept_listings.h"
#include "listing/volume_identity.h"
#include "menu/thread_menus.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
    } else if (reason == DLL_THREAD_DETACH) {
        // A thread that ends with a menu of ours leaves no hook or record.
        thread_menus_drop_thread();
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Unloaded while the process goes on: a hook left behind would call
        // into code that is gone.  (At process exit nothing outlives us.)
        thread_menus_drop_all();
        // Workers hold the module while they run: none is left by now.
        kept_listings_drop_all();
        volume_answers_forget();
        type_pictures_drop_all();
    }
    return TRUE;
}
