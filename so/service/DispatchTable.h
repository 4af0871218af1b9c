#pragma once
// Names, DISPIDs and parameter types of the dispatch interface, and the
// Automation rules for turning a caller's arguments into typed values.
#include <windows.h>
#include <oaidl.h>

#include "com/ArgConversion.h"
#include "com/Variant.h"

#include <array>
#include <span>

namespace vtx {

enum class ResultType { None, Long, Bstr };

struct ParamInfo {
    const wchar_t* name;
    ArgType type;
};

struct MethodInfo {
    DISPID dispid;
    const wchar_t* name;
    ResultType result;
    std::span<const ParamInfo> params;
};

// Members of the service object's dispatch interface; the Control Object numbers its
// own apart (co_dispid).
namespace so_dispid {
inline constexpr DISPID CheckHealth = 1;
inline constexpr DISPID Claim = 2;
inline constexpr DISPID Close = 3;
inline constexpr DISPID COFreezeEvents = 4;
inline constexpr DISPID CompareFirmwareVersion = 5;
inline constexpr DISPID DirectIO = 6;
inline constexpr DISPID OpenService = 7;
inline constexpr DISPID Release = 8;
inline constexpr DISPID ResetStatistics = 9;
inline constexpr DISPID RetrieveStatistics = 10;
inline constexpr DISPID UpdateFirmware = 11;
inline constexpr DISPID UpdateStatistics = 12;
inline constexpr DISPID GetPropertyNumber = 13;
inline constexpr DISPID SetPropertyNumber = 14;
inline constexpr DISPID GetPropertyString = 15;
inline constexpr DISPID SetPropertyString = 16;
inline constexpr DISPID OpenDrawer = 17;
inline constexpr DISPID WaitForDrawerClose = 18;
} // namespace so_dispid

std::span<const MethodInfo> CashDrawerMethods();
const MethodInfo* FindMethod(DISPID id);

// One argument after conversion: by-value ones live in `value`, by-reference
// ones point into the caller's VARIANT.
struct ConvertedArg {
    Variant value;
    long* longRef = nullptr;
    BSTR* bstrRef = nullptr;
    IDispatch* dispatch = nullptr;
};

// Converts the positional arguments of a call to the method's parameter
// types. On a failure *argErr names the offending index in rgvarg.
HRESULT ConvertArguments(const MethodInfo& method, const DISPPARAMS& params,
                         std::array<ConvertedArg, 4>& args, UINT* argErr);

} // namespace vtx
