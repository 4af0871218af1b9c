#pragma once

namespace vtx {

// The library may unload only while no object lives and no server lock is held.
void LockModule();
void UnlockModule();
long ModuleLockCount();

} // namespace vtx
