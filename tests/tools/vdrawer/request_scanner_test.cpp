#include "hex.h"
#include "request_scanner.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vdrawer {
namespace {

using Event = RequestScanner::Event;
using Found = std::vector<std::pair<std::size_t, Event>>;

// Feeds the bytes one at a time and lists where something was recognised.
Found scan(RequestScanner& scanner, const Bytes& bytes) {
    Found found;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (const Event event = scanner.push(bytes[i]); event != Event::None) {
            found.emplace_back(i, event);
        }
    }
    return found;
}

Found scan(const Bytes& bytes) {
    RequestScanner scanner;
    return scan(scanner, bytes);
}

TEST(RequestScanner, FindsCommandsWhereverTheyStart) {
    // Noise first, and a false start (1D 1D) right before the real request.
    EXPECT_EQ(scan({0xAA, 0x1D, 0x1D, 0x1B, 0x0F, 0x0C}), (Found{{5, Event::StatusRequest}}));
    EXPECT_EQ(scan({0x00, 0x1C, 0x1E, 0x11, 0x13, 0xFF}), (Found{{4, Event::OpenCommand}}));
    // Back to back, no gap.
    EXPECT_EQ(scan({0x1D, 0x1B, 0x0F, 0x0C, 0x1C, 0x1E, 0x11, 0x13, 0x1D, 0x1B, 0x0F, 0x0C}),
              (Found{{3, Event::StatusRequest}, {7, Event::OpenCommand}, {11, Event::StatusRequest}}));
}

TEST(RequestScanner, KeepsAPartialCommandAcrossReadsUntilReset) {
    RequestScanner scanner;
    EXPECT_TRUE(scan(scanner, {0x1D, 0x1B}).empty());
    EXPECT_EQ(scan(scanner, {0x0F, 0x0C}), (Found{{1, Event::StatusRequest}}));

    EXPECT_TRUE(scan(scanner, {0x1C, 0x1E, 0x11}).empty());
    scanner.reset();
    EXPECT_TRUE(scan(scanner, {0x13}).empty());
}

TEST(RequestScanner, IgnoresNearMisses) {
    EXPECT_TRUE(scan({0x1D, 0x1B, 0x0F, 0x0D}).empty());
    EXPECT_TRUE(scan({0x0C, 0x0F, 0x1B, 0x1D}).empty());
    EXPECT_TRUE(scan({0x1C, 0x1E, 0x11, 0x12}).empty());
    EXPECT_TRUE(scan({0x1D, 0x1B, 0x00, 0x0F, 0x0C}).empty());
    EXPECT_TRUE(scan({0x1B, 0x0F, 0x0C}).empty());
}

TEST(Hex, FormatsAndParsesByteRuns) {
    EXPECT_EQ(to_hex_pairs(Bytes{0x1D, 0x0B, 0xFF, 0x00}), "1D 0B FF 00");
    EXPECT_EQ(to_hex_pairs(Bytes{}), "");

    EXPECT_EQ(parse_hex_run("1f19"), (Bytes{0x1F, 0x19}));
    EXPECT_EQ(parse_hex_run("00aB42"), (Bytes{0x00, 0xAB, 0x42}));
    EXPECT_FALSE(parse_hex_run(""));
    EXPECT_FALSE(parse_hex_run("1"));
    EXPECT_FALSE(parse_hex_run("1G"));
    EXPECT_FALSE(parse_hex_run("0x19"));
    EXPECT_FALSE(parse_hex_run("19 "));
}

} // namespace
} // namespace vdrawer
