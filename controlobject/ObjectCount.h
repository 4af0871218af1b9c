#pragma once

namespace vtx::co {

// Live Control Objects and server locks: the library may unload at zero.
void LockModule();
void UnlockModule();
long ModuleLockCount();

} // namespace vtx::co
