// IDispatch::Invoke by DISPID with the arguments in call order.
#include "com/Invoke.h"

#include <array>
#include <new>
#include <vector>

namespace vtx {

HRESULT InvokeByDispid(IDispatch* target, DISPID id, WORD flags, std::span<const VARIANT> args,
                       VARIANT* result, EXCEPINFO* excep, UINT* argErr) noexcept {
    // Shallow copies, last to first. The usual few need no allocation.
    std::array<VARIANT, 8> small;
    std::vector<VARIANT> large;
    VARIANT* reversed = small.data();
    if (args.size() > small.size()) {
        try {
            large.resize(args.size());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        reversed = large.data();
    }
    for (size_t i = 0; i < args.size(); ++i) {
        reversed[args.size() - 1 - i] = args[i];
    }
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT && !args.empty(); // with no value there is none to name
    DISPPARAMS params{args.empty() ? nullptr : reversed, isPut ? &put : nullptr,
                      static_cast<UINT>(args.size()), isPut ? 1u : 0u};
    return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, argErr);
}

} // namespace vtx
