#pragma once
// The utility's registry calls pass text through the system's ANSI code page.
#include <string>
#include <string_view>

namespace vtx::setup {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);

} // namespace vtx::setup
