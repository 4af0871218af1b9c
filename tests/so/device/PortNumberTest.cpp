#include "device/PortNumber.h"
#include "device/DrawerProtocol.h"

#include <gtest/gtest.h>

namespace vtx {
namespace {

TEST(ParsePortNumber, ReadsTheNumberOfAComName) {
    EXPECT_EQ(ParsePortNumber(L"COM3"), 3);
    EXPECT_EQ(ParsePortNumber(L"com3"), 3);
    EXPECT_EQ(ParsePortNumber(L"CoM12"), 12);
    EXPECT_EQ(ParsePortNumber(L"7"), 7);
    EXPECT_EQ(ParsePortNumber(L" 3"), 3);
    EXPECT_EQ(ParsePortNumber(L"COM255"), 255);
    EXPECT_EQ(ParsePortNumber(L"COM3 "), 3);
}

TEST(ParsePortNumber, NamesWithoutANumberGiveZero) {
    EXPECT_EQ(ParsePortNumber(L""), 0);
    EXPECT_EQ(ParsePortNumber(L"LPT1"), 0);
    EXPECT_EQ(ParsePortNumber(L"\\\\.\\VXCR3\\"), 0);
    EXPECT_EQ(ParsePortNumber(L"COM"), 0);
    EXPECT_EQ(ParsePortNumber(L"CRUSB"), 0);
}

TEST(ParsePortNumber, OutOfRangeNumbersStayOutOfRange) {
    EXPECT_EQ(ParsePortNumber(L"COM0"), 0);
    EXPECT_EQ(ParsePortNumber(L"COM256"), 256);
    EXPECT_EQ(ParsePortNumber(L"COM-3"), -3);
    // Far past 32 bits: saturates instead of wrapping into the valid range.
    EXPECT_GT(ParsePortNumber(L"COM4294967299"), 255);
}

TEST(ParsePortNumber, RemovesComOnceWhereverItStands) {
    EXPECT_EQ(ParsePortNumber(L"1COM2"), 12);
    EXPECT_EQ(ParsePortNumber(L"CCOMOM3"), 0); // leaves "COM3" behind, which is no number
}

TEST(StatusReply, LastSignificantByteDecides) {
    const uint8_t closedThenOpen[] = {0x1F, 0x19};
    const uint8_t openThenClosed[] = {0x19, 0x1F};
    const uint8_t noise[] = {0x00, 0x41, 0x42};
    const uint8_t openAmidNoise[] = {0x00, 0x19, 0x42};
    EXPECT_EQ(drawer::ClassifyStatusReply(closedThenOpen, 2), 1);
    EXPECT_EQ(drawer::ClassifyStatusReply(openThenClosed, 2), 0);
    EXPECT_EQ(drawer::ClassifyStatusReply(noise, 3), -1);
    EXPECT_EQ(drawer::ClassifyStatusReply(openAmidNoise, 3), 1);
    EXPECT_EQ(drawer::ClassifyStatusReply(noise, 0), -1);
}

} // namespace
} // namespace vtx
