// The object's own listing, made on the calling thread.
#pragma once
#include <windows.h>

class qv_shellex;

// Lists the folder `dir` into ext->list (cleared by the caller) with the
// object's settings and shortcut flag, however long that takes.
void list_directory(qv_shellex *ext, const WCHAR *dir);
