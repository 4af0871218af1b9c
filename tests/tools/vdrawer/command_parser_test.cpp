// The virtual drawer's control-channel parser: keywords, arguments and the errors it answers.
#include "command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vdrawer {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;
using testing::StartsWith;
using Kind = Command::Kind;

Command parsed(std::string_view line) {
    ParseResult result = parse_command(line);
    EXPECT_TRUE(result.command) << "'" << line << "' was refused: " << result.error;
    return result.command.value_or(Command{});
}

std::string refusal(std::string_view line) {
    ParseResult result = parse_command(line);
    EXPECT_FALSE(result.command) << "'" << line << "' was accepted";
    return result.error;
}

TEST(CommandParser, KeywordsIgnoreCaseAndSpacing) {
    EXPECT_EQ(parsed("PING").kind, Kind::Ping);
    EXPECT_EQ(parsed("ping").kind, Kind::Ping);
    EXPECT_EQ(parsed("  sTaTe\t").kind, Kind::State);
    EXPECT_EQ(parsed("unavailable").kind, Kind::Unavailable);
    EXPECT_EQ(parsed("Available").kind, Kind::Available);
    EXPECT_EQ(parsed("busy").kind, Kind::Busy);
    EXPECT_EQ(parsed("stall").kind, Kind::Stall);
    EXPECT_EQ(parsed("DRAIN").kind, Kind::Drain);
    EXPECT_EQ(parsed("quit").kind, Kind::Quit);
}

TEST(CommandParser, ReadsArguments) {
    EXPECT_EQ(parsed("AUTOCLOSE 1500").ms, 1500ms);
    EXPECT_EQ(parsed("delay 0").ms, 0ms);

    const Command wait = parsed("WAITRX 4 250");
    EXPECT_EQ(wait.kind, Kind::WaitRx);
    EXPECT_EQ(wait.count, 4u);
    EXPECT_EQ(wait.ms, 250ms);

    const Command split = parsed("mode split 40");
    EXPECT_EQ(split.kind, Kind::Mode);
    EXPECT_EQ(split.mode.mode, ReplyMode::Split);
    EXPECT_EQ(split.mode.split_gap, 40ms);
    EXPECT_EQ(parsed("MODE both").mode.mode, ReplyMode::Both);
    EXPECT_EQ(parsed("MODE Garbage").mode.mode, ReplyMode::Garbage);
    EXPECT_EQ(parsed("MODE SILENT").mode.mode, ReplyMode::Silent);
    EXPECT_EQ(parsed("MODE NORMAL").mode.mode, ReplyMode::Normal);

    const Command script = parsed("SCRIPT 19 - 004142 1f19");
    EXPECT_EQ(script.script, (std::vector<ScriptItem>{Bytes{0x19}, std::nullopt, Bytes{0x00, 0x41, 0x42},
                                                      Bytes{0x1F, 0x19}}));
    EXPECT_TRUE(parsed("SCRIPT").script.empty());
}

TEST(CommandParser, RefusesBadLinesWithAReason) {
    EXPECT_EQ(refusal("FOO bar"), "UNKNOWN FOO");
    EXPECT_EQ(refusal("pong"), "UNKNOWN pong");

    EXPECT_THAT(refusal("PING now"), StartsWith("USAGE"));
    EXPECT_THAT(refusal("MODE"), StartsWith("USAGE"));
    EXPECT_THAT(refusal("MODE SPLIT"), StartsWith("USAGE"));
    EXPECT_THAT(refusal("MODE NORMAL 5"), StartsWith("USAGE"));
    EXPECT_THAT(refusal("MODE FAST"), HasSubstr("FAST"));
    EXPECT_THAT(refusal("AUTOCLOSE"), StartsWith("USAGE"));
    EXPECT_THAT(refusal("WAITRX 4"), StartsWith("USAGE"));

    for (const char* bad_number : {"-5", "abc", "1e3", "12ms", "99999999999999999999", "+7"}) {
        SCOPED_TRACE(bad_number);
        EXPECT_THAT(refusal(std::string("DELAY ") + bad_number), HasSubstr(bad_number));
    }
    // More than a day is surely a mistake.
    EXPECT_THAT(refusal("DELAY 86400001"), StartsWith("BAD NUMBER"));
    EXPECT_THAT(refusal("MODE SPLIT x"), StartsWith("BAD NUMBER"));

    EXPECT_THAT(refusal("SCRIPT 19 1"), HasSubstr("1"));
    EXPECT_THAT(refusal("SCRIPT 0x19"), StartsWith("BAD HEX"));
    EXPECT_THAT(refusal("SCRIPT --"), StartsWith("BAD HEX"));
}

} // namespace
} // namespace vdrawer
