#include "MessagePump.h"

namespace vtx::test {

namespace {
void Drain() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
} // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD limitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        Drain();
        if (done()) {
            return true;
        }
        DWORD spent = GetTickCount() - start;
        if (spent >= limitMs) {
            return false;
        }
        // Woken by any message; the condition may also change on another thread.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, (limitMs - spent) < 20 ? (limitMs - spent) : 20,
                                  QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

} // namespace vtx::test
