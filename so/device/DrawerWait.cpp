// WaitForDrawerClose's loop: a quiet phase, then a tone per poll until the drawer answers "closed".
#include "device/DrawerWait.h"

#include "opos/OposConstants.h"

namespace vtx {

namespace {
// An answered exchange never takes less; polls of a dead port are spaced as much.
constexpr DWORD kMinPollSpacingMs = 50;
// A wait gives up only after this long without an answer *and* this many unanswered
// polls in a row: with long tones, one lost reply may come after 10 s of a drawer
// that answers "open", which is no reason to stop; that is what the tones are for.
constexpr DWORD kSilenceLimitMs = 10000;
constexpr int kSilentPollsLimit = 3;

enum class WaitVerdict { Open, Closed, Gone };
} // namespace

long WaitForClose(CDrawerLink& link, ISpeaker& speaker, CTraceLog& trace, CDeviceEventLog& events,
                  const BeepSettings& beep) {
    const uint64_t firstExchange = link.BeginWait();
    const DWORD start = speaker.TickCount();
    DWORD lastAnswered = GetTickCount();
    int silentPolls = 0;

    // One poll of the wait's own, then the verdict of the latest answered
    // exchange since the wait began, the monitor's included.
    auto poll = [&]() -> WaitVerdict {
        const DWORD began = GetTickCount();
        bool answered = false;
        link.QueryDrawerState(true, &answered);
        if (link.AnsweredClosedSince(firstExchange, answered)) {
            return WaitVerdict::Closed;
        }
        if (answered) {
            lastAnswered = GetTickCount();
            silentPolls = 0;
            return WaitVerdict::Open;
        }
        ++silentPolls;
        if (silentPolls >= kSilentPollsLimit && GetTickCount() - lastAnswered >= kSilenceLimitMs) {
            return WaitVerdict::Gone;
        }
        // Never poll a dead line faster than a live one is polled.
        const DWORD spent = GetTickCount() - began;
        if (spent < kMinPollSpacingMs) {
            Sleep(kMinPollSpacingMs - spent);
        }
        return WaitVerdict::Open;
    };

    // Quiet phase: the drawer may stay open for beep.timeout ms (unsigned, so
    // a negative timeout never beeps) before the speaker starts.
    WaitVerdict verdict;
    do {
        verdict = poll();
    } while (verdict == WaitVerdict::Open && speaker.TickCount() - start < static_cast<DWORD>(beep.timeout));

    // Negative tone or pause values would be taken as days of sound or silence.
    const bool sound = beep.frequency >= 0 && beep.duration >= 0 && beep.delay >= 0;
    while (verdict == WaitVerdict::Open) {
        verdict = poll();
        if (sound && verdict != WaitVerdict::Gone) {
            speaker.Beep(static_cast<DWORD>(beep.frequency), static_cast<DWORD>(beep.duration));
            speaker.Pause(static_cast<DWORD>(beep.delay));
        }
    }
    if (verdict == WaitVerdict::Gone) {
        // A drawer gone for good must not hold the application's thread for ever.
        trace.Log(kTraceFailures, "WaitForDrawerClose: no answer from the drawer for %lu ms, given up",
                  kSilenceLimitMs);
        events.WaitGaveUp(GetTickCount() - lastAnswered, link.LastError());
        return opos::OPOS_E_NOHARDWARE;
    }
    return opos::OPOS_SUCCESS;
}

} // namespace vtx
