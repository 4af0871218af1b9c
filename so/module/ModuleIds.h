#pragma once
// Identifiers that tie the served class, its type library and its
// registration together.
#include <windows.h>

namespace vtx {

inline constexpr wchar_t kCashDrawerProgId[] = L"Veltrix.OPOS.CashDrawerUSB";

// {8C4F2A17-6D3B-4E59-A2C8-1B7E9D05F3E6}: the class the factory serves.
inline constexpr CLSID CLSID_CashDrawerServed = {
    0x8C4F2A17, 0x6D3B, 0x4E59, {0xA2, 0xC8, 0x1B, 0x7E, 0x9D, 0x05, 0xF3, 0xE6}};
// {8C4F2A17-6D3B-4E59-A2C8-1B7E9D05F3F6}: the type library's coclass; never served.
inline constexpr CLSID CLSID_CashDrawerTypeLib = {
    0x8C4F2A17, 0x6D3B, 0x4E59, {0xA2, 0xC8, 0x1B, 0x7E, 0x9D, 0x05, 0xF3, 0xF6}};
// {5E0B7C1A-2F43-4D8E-9B61-7A3C2D9E4F10}, version 1.0.
inline constexpr GUID LIBID_VTXCashDrawer = {
    0x5E0B7C1A, 0x2F43, 0x4D8E, {0x9B, 0x61, 0x7A, 0x3C, 0x2D, 0x9E, 0x4F, 0x10}};
inline constexpr WORD kTypeLibMajor = 1;
inline constexpr WORD kTypeLibMinor = 0;

} // namespace vtx
