#pragma once
// The identifiers the service object's module is known by, written out
// independently of the module's own source.
#include <windows.h>
#include <objbase.h>

namespace vtx::test {

inline GUID Guid(const wchar_t* text) {
    GUID guid{};
    CLSIDFromString(text, &guid);
    return guid;
}

inline constexpr wchar_t kProgId[] = L"Veltrix.OPOS.CashDrawerUSB";
inline constexpr wchar_t kServedClsid[] = L"{8C4F2A17-6D3B-4E59-A2C8-1B7E9D05F3E6}";
inline constexpr wchar_t kCoclassClsid[] = L"{8C4F2A17-6D3B-4E59-A2C8-1B7E9D05F3F6}";
inline constexpr wchar_t kLibId[] = L"{5E0B7C1A-2F43-4D8E-9B61-7A3C2D9E4F10}";
inline constexpr wchar_t kAnsweredIid[] = L"{4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9006}";
inline constexpr wchar_t kDispinterfaceIid[] = L"{4B7D9E21-3A6C-4F08-B5D2-6E1F8A3C9007}";

} // namespace vtx::test
