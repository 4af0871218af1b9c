#pragma once
// Replacing a file in one step, for the pid and port files that scripts wait for.
#include <filesystem>
#include <string_view>

namespace vdrawer {

// Readers never see a half-written file: they get the old one or the complete new one.
// Throws std::system_error.
void write_file_atomically(const std::filesystem::path& path, std::string_view content);

} // namespace vdrawer
