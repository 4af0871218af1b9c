#pragma once
// Runs this thread's message loop, as a Control Object's application would,
// until a condition holds or a generous time limit passes.
#include <windows.h>

#include <functional>

namespace vtx::test {

// True when the condition came true within limitMs.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 10000);
// Pumps for a fixed time (to show that nothing arrives).
void PumpFor(DWORD ms);

} // namespace vtx::test
