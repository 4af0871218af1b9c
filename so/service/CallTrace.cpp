// One trace line per dispatch call: the method, its arguments as they reached
// it (by-reference ones as they left it) and its result code.
#include "service/CashDrawer.h"

#include "opos/OposConstants.h"

#include <string>

namespace vtx {

namespace {

constexpr size_t kTextShown = 64;

void AppendText(std::string& out, const wchar_t* text) {
    if (text == nullptr) {
        out += "null";
        return;
    }
    const size_t length = SysStringLen(const_cast<BSTR>(text));
    out += '"';
    out += CTraceLog::Utf8(text, length < kTextShown ? length : kTextShown);
    out += length > kTextShown ? "...\" (" + std::to_string(length) + " chars)" : "\"";
}

void AppendArg(std::string& out, ArgType type, const ConvertedArg& arg) {
    switch (type) {
    case ArgType::Long:
    case ArgType::Bool:
        out += std::to_string(V_I4(arg.value.get()));
        break;
    case ArgType::Bstr:
        AppendText(out, V_BSTR(arg.value.get()));
        break;
    case ArgType::Dispatch:
        out += arg.dispatch != nullptr ? "<dispatch>" : "null";
        break;
    case ArgType::LongRef:
        out += "&" + std::to_string(*arg.longRef);
        break;
    case ArgType::BstrRef:
        out += "&";
        AppendText(out, *arg.bstrRef);
        break;
    }
}

} // namespace

void CCashDrawer::TraceCall(const MethodInfo& method, const std::array<ConvertedArg, 4>& args, long code,
                            BSTR text) {
    const long stored = m_properties.ResultCode;
    long failure = 0;
    switch (method.result) {
    case ResultType::Long:
        // A property read answers a value; its code is the one it stored.
        failure = method.dispid == so_dispid::GetPropertyNumber ? stored : code;
        break;
    case ResultType::None:
    case ResultType::Bstr:
        failure = stored;
        break;
    }
    // Reading DrawerOpened stores nothing: the stored code is an earlier call's.
    if (method.dispid == so_dispid::GetPropertyNumber &&
        V_I4(args[0].value.get()) == opos::PIDXCash_DrawerOpened) {
        failure = 0;
    }
    const int level = failure != 0 ? kTraceFailures : kTraceCalls;
    if (!m_trace.On(level)) {
        return;
    }
    try {
        std::string line = CTraceLog::Utf8(method.name, wcslen(method.name)) + "(";
        for (size_t i = 0; i < method.params.size(); ++i) {
            if (i != 0) {
                line += ", ";
            }
            AppendArg(line, method.params[i].type, args[i]);
        }
        line += ")";
        if (method.result == ResultType::Long) {
            line += " = " + std::to_string(code);
        } else if (method.result == ResultType::Bstr) {
            line += " = ";
            AppendText(line, text);
        }
        line += ", ResultCode " + std::to_string(stored);
        m_trace.Log(level, "%s", line.c_str());
    } catch (...) {
        // No memory for the line: the call's result stands, the line is lost.
    }
}

} // namespace vtx
