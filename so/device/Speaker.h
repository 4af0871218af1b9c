#pragma once
// The speaker and clock WaitForDrawerClose uses, behind a seam so tests can
// count tones without sound and without waiting them out.
#include <windows.h>

namespace vtx {

class ISpeaker {
public:
    virtual ~ISpeaker() = default;
    // Sounds a tone and returns when it ends.
    virtual void Beep(DWORD frequency, DWORD durationMs) = 0;
    virtual void Pause(DWORD ms) = 0;
    virtual DWORD TickCount() = 0;
};

ISpeaker& Speaker();
// Replaces the system speaker for this process; null puts it back.
void SetSpeakerForTesting(ISpeaker* speaker);

} // namespace vtx
