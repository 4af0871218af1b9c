#pragma once

#include "serial_client.h"
#include "test_bytes.h"
#include "vdrawer_process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vdrawer::test {

// A running vdrawer with the test holding its serial port open, like the Windows side would.
class DrawerFixture : public testing::Test {
protected:
    explicit DrawerFixture(const std::vector<std::string>& extra_args = {})
        : vd_(extra_args), serial_(vd_.link_path()) {}

    // One status request; returns what came back once `expected_size` bytes arrived (or the guard ran out).
    Bytes ask(std::size_t expected_size = 1) {
        serial_.send_status_request();
        return serial_.read_exactly(expected_size, kGuard);
    }
    // Returns once vdrawer has read `total` bytes from the line since the last RX, so later control
    // commands cannot overtake them.
    void expect_received(std::size_t total) {
        ASSERT_EQ(vd_.command("WAITRX " + std::to_string(total) + " 10000"), "OK " + std::to_string(total));
    }
    void clear_rx() { ASSERT_EQ(vd_.command("RX").substr(0, 2), "OK"); }
    void send(const Bytes& bytes) { ASSERT_TRUE(serial_.write(bytes)); }
    void expect_ok(std::string_view command) { EXPECT_EQ(vd_.command(command), "OK") << command; }

    VdrawerProcess vd_;
    SerialClient serial_;
};

} // namespace vdrawer::test
