#pragma once
// The result code of an open-drawer command whose write failed, by the write's last error.
#include <windows.h>

#include "opos/OposConstants.h"

namespace vtx {

// A port that is gone or was never usable is missing hardware; anything else
// (a line that stopped answering, a device that is not ready) is a failure.
inline long ClassifyWriteFailure(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
        return opos::OPOS_E_NOHARDWARE;
    default:
        return opos::OPOS_E_FAILURE;
    }
}

} // namespace vtx
