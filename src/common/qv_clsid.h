// The class identifier of the extension, the one GUID of the product.
#pragma once
#include <windows.h>

// {A65B95B4-BB43-405A-8E48-FDD52A33F8AB}
extern const CLSID CLSID_QuorvaneShellex;

// Registry form of the CLSID, as written by DllRegisterServer.
#define QV_CLSID_STRING L"{A65B95B4-BB43-405A-8E48-FDD52A33F8AB}"
