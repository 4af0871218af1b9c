// Drawer test from the command line: runs the service object through its
// dispatch interface against the logical device named on the command line
// and prints each step's result code. Exits non-zero when a step fails.
//
//   drawertest [DEVICE_NAME]      (default VX-CDUSB)
#include <windows.h>
#include <objbase.h>

#include "com/Bstr.h"
#include "com/ComPtr.h"
#include "com/Variant.h"
#include "service/CashDrawer.h"
#include "service/DispatchTable.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace vtx;

// Calls one method by DISPID with long/BSTR/IDispatch arguments in call order.
long Call(IDispatch* so, DISPID id, std::vector<VARIANT> args, HRESULT* hr) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                      static_cast<UINT>(reversed.size()), 0};
    Variant result;
    *hr = so->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.get(), nullptr,
                     nullptr);
    return V_VT(result.get()) == VT_I4 ? V_I4(result.get()) : 0;
}

VARIANT LongArg(long v) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I4;
    V_I4(&a) = v;
    return a;
}

VARIANT TextArg(const Bstr& s) {
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_BSTR;
    V_BSTR(&a) = s.get();
    return a;
}

int Run(const std::wstring& device) {
    ComPtr<IDispatch> so;
    HRESULT hr = CCashDrawer::Create(IID_IDispatch, so.put_void());
    if (FAILED(hr)) {
        std::printf("create service object: failed, 0x%08lX\n", static_cast<unsigned long>(hr));
        return 2;
    }
    Bstr cls(L"CashDrawer");
    Bstr name(device);
    VARIANT none;
    VariantInit(&none);
    V_VT(&none) = VT_DISPATCH;
    V_DISPATCH(&none) = nullptr;

    struct Step {
        const char* label;
        DISPID id;
        std::vector<VARIANT> args;
    };
    const Step steps[] = {
        {"OpenService", dispid::OpenService, {TextArg(cls), TextArg(name), none}},
        {"Claim(1000)", dispid::Claim, {LongArg(1000)}},
        {"Release", dispid::Release, {}},
        {"Close", dispid::Close, {}},
    };
    int failures = 0;
    for (const Step& step : steps) {
        long code = Call(so.get(), step.id, step.args, &hr);
        if (FAILED(hr)) {
            std::printf("%-12s call failed: 0x%08lX\n", step.label, static_cast<unsigned long>(hr));
            return 2;
        }
        std::printf("%-12s ResultCode %ld\n", step.label, code);
        std::fflush(stdout);
        if (code != 0) {
            ++failures;
            if (step.id == dispid::OpenService) {
                break;
            }
        }
    }
    std::printf("%s\n", failures == 0 ? "drawer test passed" : "drawer test FAILED");
    return failures == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 2) {
        std::fprintf(stderr, "usage: drawertest [DEVICE_NAME]\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "drawertest: COM could not be initialised\n");
        return 2;
    }
    int rc = Run(argc == 2 ? argv[1] : L"VX-CDUSB");
    CoUninitialize();
    return rc;
}
