#pragma once
// The Wine prefix's dosdevices/comN symlink, which is how the Windows side finds the port.
// Only a link this object made is ever removed; someone may have re-pointed it meanwhile.
#include <filesystem>
#include <optional>
#include <string>

namespace vdrawer {

class ComLink {
public:
    ComLink(const std::filesystem::path& prefix, int com);
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;
    ~ComLink();

    // Replaces whatever is at the link path in one step. Throws std::system_error.
    void point_to(const std::string& target);
    void remove();
    bool linked() const { return target_.has_value(); }

private:
    std::filesystem::path path_;
    std::optional<std::string> target_;
};

} // namespace vdrawer
