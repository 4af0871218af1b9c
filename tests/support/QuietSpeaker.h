#pragma once
// The speaker while a test runs, installed for the fake's lifetime: tones cost nothing and pauses no time, so
// a WaitForDrawerClose neither sounds nor sleeps; the clock stays the real one. A fake that counts tones
// overrides.
#include "device/Speaker.h"

namespace vtx::test {

class QuietSpeaker : public ISpeaker {
public:
    QuietSpeaker() { SetSpeakerForTesting(this); }
    ~QuietSpeaker() override { SetSpeakerForTesting(nullptr); }
    QuietSpeaker(const QuietSpeaker&) = delete;
    QuietSpeaker& operator=(const QuietSpeaker&) = delete;

    void Beep(DWORD, DWORD) override {}
    void Pause(DWORD) override {}
    DWORD TickCount() override { return GetTickCount(); }
};

} // namespace vtx::test
