// drawertest's console output and text conversions (the application's thread).
#include "Console.h"

#include <objbase.h>

#include <cstdarg>
#include <cstdio>

namespace vtx::drawertest {

namespace {
bool g_quiet = false;
} // namespace

void SetQuiet(bool quiet) {
    g_quiet = quiet;
}

void Line(const char* format, ...) {
    if (g_quiet) {
        return;
    }
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Narrow(std::wstring_view text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), bytes,
                            nullptr, nullptr);
    }
    return out;
}

std::string GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return Narrow(text);
}

} // namespace vtx::drawertest
