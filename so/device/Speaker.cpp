// The system speaker and clock, or the stand-in a test has installed (swapped atomically).
#include "device/Speaker.h"

#include <atomic>

namespace vtx {

namespace {

class SystemSpeaker final : public ISpeaker {
public:
    void Beep(DWORD frequency, DWORD durationMs) override { ::Beep(frequency, durationMs); }
    void Pause(DWORD ms) override { ::Sleep(ms); }
    DWORD TickCount() override { return ::GetTickCount(); }
};

SystemSpeaker g_system;
std::atomic<ISpeaker*> g_current{&g_system};

} // namespace

ISpeaker& Speaker() {
    return *g_current.load();
}

void SetSpeakerForTesting(ISpeaker* speaker) {
    g_current = speaker != nullptr ? speaker : &g_system;
}

} // namespace vtx
