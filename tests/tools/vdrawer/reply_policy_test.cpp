#include "reply_policy.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace vdrawer {
namespace {

using namespace std::chrono_literals;
using Plan = std::vector<std::pair<long, Bytes>>;

// (ms after the request, bytes) for each write the reply consists of.
Plan plan(const std::vector<ReplyChunk>& chunks) {
    Plan out;
    for (const ReplyChunk& chunk : chunks) {
        out.emplace_back(static_cast<long>(chunk.after.count()), chunk.bytes);
    }
    return out;
}

TEST(ReplyPolicy, EachModeShapesTheAnswer) {
    struct Case {
        ModeSetting mode;
        bool open;
        Plan expected;
    };
    const Case cases[] = {
        {{ReplyMode::Normal, 0ms}, true, {{0, {0x19}}}},
        {{ReplyMode::Normal, 0ms}, false, {{0, {0x1F}}}},
        {{ReplyMode::Silent, 0ms}, true, {}},
        {{ReplyMode::Garbage, 0ms}, true, {{0, {0x00, 0x41, 0x42}}}},
        {{ReplyMode::Garbage, 0ms}, false, {{0, {0x00, 0x41, 0x42}}}},
        // The byte that is true comes last.
        {{ReplyMode::Both, 0ms}, true, {{0, {0x1F, 0x19}}}},
        {{ReplyMode::Both, 0ms}, false, {{0, {0x19, 0x1F}}}},
        {{ReplyMode::Split, 250ms}, true, {{0, {0x00}}, {250, {0x19}}}},
        {{ReplyMode::Split, 250ms}, false, {{0, {0x00}}, {250, {0x1F}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << static_cast<int>(c.mode.mode) << ", open " << c.open);
        ReplyPolicy policy;
        policy.set_mode(c.mode);
        EXPECT_EQ(plan(policy.next_reply(c.open)), c.expected);
    }
}

TEST(ReplyPolicy, DelayShiftsEveryWrite) {
    ReplyPolicy policy;
    policy.set_delay(100ms);
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{100, {0x1F}}}));

    policy.set_mode({ReplyMode::Split, 250ms});
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{100, {0x00}}, {350, {0x1F}}}));

    policy.set_script({Bytes{0x19}});
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{100, {0x19}}}));
}

TEST(ReplyPolicy, ScriptAnswersOneRequestPerItemThenModeResumes) {
    ReplyPolicy policy;
    policy.set_mode({ReplyMode::Garbage, 0ms});
    policy.set_script({Bytes{0x19}, std::nullopt, Bytes{0x1F, 0x19}});

    // Items ignore the drawer state: they are exactly what the test asked for.
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{0, {0x19}}}));
    EXPECT_EQ(plan(policy.next_reply(true)), Plan{});
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{0, {0x1F, 0x19}}}));
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{0, {0x00, 0x41, 0x42}}}));

    policy.set_script({Bytes{0x19}, Bytes{0x19}});
    policy.set_script({});
    EXPECT_EQ(plan(policy.next_reply(false)), (Plan{{0, {0x00, 0x41, 0x42}}}));
}

TEST(ReplyPolicy, ResetRestoresPromptNormalAnswers) {
    ReplyPolicy policy;
    policy.set_mode({ReplyMode::Silent, 0ms});
    policy.set_delay(500ms);
    policy.set_script({std::nullopt});
    policy.reset();
    EXPECT_EQ(plan(policy.next_reply(true)), (Plan{{0, {0x19}}}));
}

} // namespace
} // namespace vdrawer
