#pragma once
// Build outputs are known to the tests by their Linux paths; Wine shows the
// Linux root as drive Z:.
#include <string>

namespace vtx::test {

inline std::wstring DosPathOf(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* c = unixPath; *c != '\0'; ++c) {
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return path;
}

} // namespace vtx::test
