#pragma once

#include "drawer_protocol.h"
#include "unique_fd.h"

#include <chrono>
#include <filesystem>

namespace vdrawer::test {

// Plays the Windows side: opens the linked port like a serial device and talks raw bytes.
class SerialClient {
public:
    explicit SerialClient(const std::filesystem::path& device);

    // Returns false (errno set) when the write fails, as it does once the drawer is unplugged.
    bool write(const Bytes& bytes);
    void send_status_request();
    // Reads until `count` bytes arrived or the time is up; returns what arrived.
    Bytes read_exactly(std::size_t count, std::chrono::milliseconds within);
    // Hangs up, as the Windows side does when it closes the port.
    void close() { fd_.reset(); }

private:
    UniqueFd fd_;
};

} // namespace vdrawer::test
