// Our Control Object's identity (ControlIdentity.h): its events as
// ControlObjectIds.h and module/OPOSCashDrawer.idl name them, every facet
// offered. Constant data: any thread may read it.
#include "ControlIdentity.h"

#include "ControlObjectIds.h"

namespace vtx::co {

const ControlIdentity& ThisControlIdentity() {
    static constexpr ControlIdentity kOurs{DIID_CashDrawerControlEvents, event_dispid::DirectIOEvent,
                                           event_dispid::StatusUpdateEvent, nullptr};
    return kOurs;
}

} // namespace vtx::co
