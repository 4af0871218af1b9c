#pragma once
// Keeps C++ exceptions from crossing an entry point that COM or Windows calls.
#include <windows.h>

#include <new>

namespace vtx {

// Runs body() and returns its HRESULT; an allocation failure becomes
// E_OUTOFMEMORY and anything else `otherwise`.
template <class Body> HRESULT GuardedCall(Body&& body, HRESULT otherwise = E_UNEXPECTED) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return otherwise;
    }
}

} // namespace vtx
