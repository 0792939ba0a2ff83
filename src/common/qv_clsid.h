// The class identifier of the extension, the one GUID of the product.
#pragma once
#include <windows.h>

// {A65B95B4-BB43-405A-8E48-FDD52A33F8AB}
inline constexpr CLSID CLSID_QuorvaneShellex = {
    0xa65b95b4, 0xbb43, 0x405a, {0x8e, 0x48, 0xfd, 0xd5, 0x2a, 0x33, 0xf8, 0xab}};

// Registry form of the same CLSID, for messages and tests.
#define QV_CLSID_STRING L"{A65B95B4-BB43-405A-8E48-FDD52A33F8AB}"
