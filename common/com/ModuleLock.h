#pragma once
// A COM server DLL's count of live objects and server locks. Any thread may touch the count (it is
// interlocked). Each DLL links its own copy of this library, so each keeps its own count.

namespace vtx {

// The library may unload only while no object lives and no server lock is held.
void LockModule();
void UnlockModule();
long ModuleLockCount();

} // namespace vtx
