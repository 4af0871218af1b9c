// Health check, DirectIO, firmware and statistics: supported in form only.
// None of these talks to the drawer.
#include "service/CashDrawer.h"

#include "com/Bstr.h"
#include "opos/OposConstants.h"
#include "service/StatisticsDocument.h"

namespace vtx {

using namespace opos;

namespace {
// What DirectIO and RetrieveStatistics answer unless the device is open,
// claimed and enabled; OPOS_SUCCESS when it is.
long RefusalUnlessEnabled(const CCashDrawerProperties& properties) {
    if (!properties.IsOpen()) {
        return OPOS_E_ILLEGAL;
    }
    if (!properties.IsClaimed()) {
        return OPOS_E_NOTCLAIMED;
    }
    return properties.IsEnabled() ? OPOS_SUCCESS : OPOS_E_DISABLED;
}
} // namespace

long CCashDrawer::CheckHealth(long level) {
    if (!m_properties.IsOpen()) {
        return StoreResult(OPOS_E_ILLEGAL);
    }
    if (!m_properties.IsEnabled()) {
        return StoreResult(OPOS_E_DISABLED);
    }
    switch (level) {
    case OPOS_CH_INTERNAL:
        m_properties.CheckHealthText = L"Internal Heath Check: check health level not supported.";
        break;
    case OPOS_CH_EXTERNAL:
        m_properties.CheckHealthText = L"External Heath Check: check health level not supported.";
        break;
    case OPOS_CH_INTERACTIVE:
        m_properties.CheckHealthText = L"Interactive Heath Check: check health level not supported.";
        break;
    default:
        m_properties.CheckHealthText = L"Check health level nonexistent.";
        break;
    }
    return StoreResult(OPOS_E_ILLEGAL);
}

long CCashDrawer::DirectIO(long, long*, BSTR*) {
    // No DirectIO command is supported: a usable device answers "illegal" too.
    const long refusal = RefusalUnlessEnabled(m_properties);
    return StoreResult(refusal != OPOS_SUCCESS ? refusal : OPOS_E_ILLEGAL);
}

long CCashDrawer::CompareFirmwareVersion(BSTR, long*) {
    return StoreResult(OPOS_E_ILLEGAL);
}
long CCashDrawer::ResetStatistics(BSTR) {
    return StoreResult(OPOS_E_ILLEGAL);
}
long CCashDrawer::UpdateFirmware(BSTR) {
    return StoreResult(OPOS_E_ILLEGAL);
}
long CCashDrawer::UpdateStatistics(BSTR) {
    return StoreResult(OPOS_E_ILLEGAL);
}

long CCashDrawer::RetrieveStatistics(BSTR* pStatisticsBuffer) {
    if (const long refusal = RefusalUnlessEnabled(m_properties); refusal != OPOS_SUCCESS) {
        return StoreResult(refusal);
    }
    // Allocated before anything changes: on failure the caller's string stays.
    Bstr document(StatisticsDocument());
    if (pStatisticsBuffer != nullptr) {
        // An in/out string: the callee frees what came in.
        SysFreeString(*pStatisticsBuffer);
        *pStatisticsBuffer = document.release();
    }
    return StoreResult(OPOS_SUCCESS);
}

} // namespace vtx
