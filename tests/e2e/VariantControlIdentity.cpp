// The identity of the Control Object's test build, which stands for another
// maker's object: its events under another IID and other DISPIDs (as
// OPOSCashDrawerVariant.idl describes them), and without what the environment
// variable VTX_TEST_CO_HIDES names ("typeinfo": its class and type
// information; "events": its connection points). Asked on the application's thread.
#include "ControlIdentity.h"

#include <cstring>

namespace vtx::co {

namespace {

// {15023A9E-AA75-4DF1-A66D-B7BAE80A7B6C}
constexpr IID kEvents = {0x15023A9E, 0xAA75, 0x4DF1, {0xA6, 0x6D, 0xB7, 0xBA, 0xE8, 0x0A, 0x7B, 0x6C}};
constexpr DISPID kDirectIOEvent = 12;
constexpr DISPID kStatusUpdateEvent = 15;

bool OfferedUnlessHidden(Facet facet) {
    char hides[64] = {};
    DWORD length = GetEnvironmentVariableA("VTX_TEST_CO_HIDES", hides, sizeof(hides));
    const char* what = facet == Facet::TypeInfo ? "typeinfo" : "events";
    return !(length > 0 && length < sizeof(hides) && std::strstr(hides, what) != nullptr);
}

} // namespace

const ControlIdentity& ThisControlIdentity() {
    static constexpr ControlIdentity kVariant{kEvents, kDirectIOEvent, kStatusUpdateEvent,
                                              &OfferedUnlessHidden};
    return kVariant;
}

} // namespace vtx::co
