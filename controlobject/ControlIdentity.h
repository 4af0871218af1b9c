#pragma once
// What tells one build of the Control Object from another: the IID and
// DISPIDs its events go out under, and whether it offers type information and
// connection points. OPOSCashDrawer.dll links ControlIdentity.cpp, ours; a
// build standing for another maker's object links its own definition of
// ThisControlIdentity instead. Constant data: any thread may read it.
#include <windows.h>
#include <oaidl.h>

namespace vtx::co {

enum class Facet { TypeInfo, Events };

struct ControlIdentity {
    IID events;
    DISPID directIOEvent;
    DISPID statusUpdateEvent;
    // Null: every facet is offered. Otherwise asked each time one is requested.
    bool (*offers)(Facet facet);
};

const ControlIdentity& ThisControlIdentity();

inline bool Offers(Facet facet) {
    const ControlIdentity& identity = ThisControlIdentity();
    return identity.offers == nullptr || identity.offers(facet);
}

} // namespace vtx::co
