// Listing of a folder into the object's item list.
#pragma once
#include <windows.h>

class qv_shellex;

// Fills ext->list, which the caller has cleared, from the folder `dir`
// (at most 244 characters), with one menu bitmap per item.
void list_directory(qv_shellex *ext, const WCHAR *dir);
