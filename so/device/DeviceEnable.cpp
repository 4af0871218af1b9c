#include "service/CashDrawer.h"

#include "service/OposConstants.h"

namespace vtx {

// Enabling needs the status monitor and event delivery, which are not built
// yet: refuse rather than pretend the device works.
long CCashDrawer::EnableDevice(bool) {
    return StoreResult(opos::OPOS_E_FAILURE);
}

} // namespace vtx
