// Reading a port name's number, and a drawer's status reply.
#include "device/PortNumber.h"
#include "device/DrawerProtocol.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace vtx {
namespace {

// Each name with the number ParsePortNumber reads from it.
void ExpectNumbers(std::initializer_list<std::pair<const wchar_t*, long>> cases) {
    for (const auto& [name, number] : cases) {
        EXPECT_EQ(ParsePortNumber(name), number) << testing::PrintToString(name);
    }
}

TEST(ParsePortNumber, ReadsTheNumberOfAComName) {
    ExpectNumbers(
        {{L"COM3", 3}, {L"com3", 3}, {L"CoM12", 12}, {L"7", 7}, {L" 3", 3}, {L"COM255", 255}, {L"COM3 ", 3}});
}

TEST(ParsePortNumber, NamesWithoutANumberGiveZero) {
    ExpectNumbers({{L"", 0}, {L"LPT1", 0}, {L"\\\\.\\VXCR3\\", 0}, {L"COM", 0}, {L"CRUSB", 0}});
}

TEST(ParsePortNumber, OutOfRangeNumbersStayOutOfRange) {
    ExpectNumbers({{L"COM0", 0}, {L"COM256", 256}, {L"COM-3", -3}});
    // Far past 32 bits: saturates instead of wrapping into the valid range.
    EXPECT_GT(ParsePortNumber(L"COM4294967299"), 255);
}

TEST(ParsePortNumber, RemovesComOnceWhereverItStands) {
    ExpectNumbers({{L"1COM2", 12}, {L"CCOMOM3", 0}}); // the second leaves "COM3" behind, which is no number
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
