#pragma once
// WaitForDrawerClose's loop: polls through the drawer link and sounds the speaker until the
// drawer answers "closed" or stops answering for good. Runs on the application's thread.
#include "device/DrawerLink.h"
#include "device/Speaker.h"
#include "trace/DeviceEventLog.h"
#include "trace/TraceLog.h"

namespace vtx {

struct BeepSettings {
    long timeout;
    long frequency;
    long duration;
    long delay;
};

// Waits for the drawer to be closed: OPOS_SUCCESS once it answered "closed" to an
// exchange begun after the wait began (its own poll or the monitor's), or
// OPOS_E_NOHARDWARE once at least 10 s passed and three polls in a row went unanswered.
// A wait that gives up goes to the event log too.
long WaitForClose(CDrawerLink& link, ISpeaker& speaker, CTraceLog& trace, CDeviceEventLog& events,
                  const BeepSettings& beep);

} // namespace vtx
