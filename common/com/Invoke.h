#pragma once
// IDispatch::Invoke by DISPID with the arguments in call order, as every
// late-bound caller here makes it. On whichever thread may call the target.
#include <windows.h>
#include <oaidl.h>

#include <span>

namespace vtx {

// Calls member `id` of `target`; Invoke receives `args` last to first, and a
// property put (`flags` exactly DISPATCH_PROPERTYPUT) names its value, the
// one argument, DISPID_PROPERTYPUT. The arguments are lent: their contents stay the
// caller's. `result`, `excep` and `argErr` go to Invoke as given (null: none).
// E_OUTOFMEMORY when the argument list cannot be laid out; throws nothing.
HRESULT InvokeByDispid(IDispatch* target, DISPID id, WORD flags, std::span<const VARIANT> args,
                       VARIANT* result, EXCEPINFO* excep = nullptr, UINT* argErr = nullptr) noexcept;

} // namespace vtx
