// The OPOS members of the Control Object, forwarded to the service object or
// answered here. On the application's thread, as every call to it.
#include "CashDrawerControl.h"

#include "DeviceLookup.h"
#include "opos/OposConstants.h"
#include "com/Bstr.h"

#include <new>

namespace vtx::co {

using namespace opos;

long CCashDrawerControl::Store(long code) {
    m_resultCode = code;
    m_resultCodeExtended = 0;
    return code;
}

long CCashDrawerControl::StoreServiceCode(long code) {
    Store(code);
    if (code == OPOS_E_EXTENDED && IsOpen()) {
        m_service.GetNumber(PIDX_ResultCodeExtended, m_resultCodeExtended);
    }
    return code;
}

long CCashDrawerControl::ForwardLong(ServiceMember member, std::initializer_list<VARIANT> args) {
    if (!IsOpen()) {
        return Store(OPOS_E_CLOSED);
    }
    CallScope scope(*this, CallScope::Direction::IntoService);
    long code = 0;
    if (!m_service.CallLong(member, args, code)) {
        return Store(OPOS_E_NOSERVICE);
    }
    return StoreServiceCode(code);
}

long CCashDrawerControl::ForwardVoid(ServiceMember member, std::initializer_list<VARIANT> args) {
    if (!IsOpen()) {
        return Store(OPOS_E_CLOSED);
    }
    CallScope scope(*this, CallScope::Direction::IntoService);
    long code = 0;
    if (!m_service.CallVoid(member, args) || !IsOpen() || !m_service.GetNumber(PIDX_ResultCode, code)) {
        return Store(OPOS_E_NOSERVICE);
    }
    return StoreServiceCode(code);
}

long CCashDrawerControl::Open(const std::wstring& deviceName) {
    if (IsOpen()) {
        m_openResult = OPOS_OR_ALREADYOPEN;
        return Store(OPOS_E_ILLEGAL);
    }
    long code = OpenService(deviceName);
    if (code == OPOS_SUCCESS) {
        m_openResult = OPOS_SUCCESS;
        m_binaryConversion = OPOS_BC_NONE;
    } else if (IsOpen()) {
        // OpenService refused: the service may have told why.
        const bool itsOwnReason = code >= OPOS_ORS_NOPORT && code <= OPOS_ORS_LAST;
        m_openResult = itsOwnReason ? code : OPOS_OR_FAILEDOPEN;
        if (itsOwnReason) {
            Store(OPOS_E_NOSERVICE);
        }
        ReleaseService();
    }
    return m_resultCode;
}

long CCashDrawerControl::OpenService(const std::wstring& deviceName) {
    DeviceEntry device;
    switch (FindDevice(deviceName, device)) {
    case LookupResult::NoDevice:
        m_openResult = OPOS_OR_REGBADNAME;
        return Store(OPOS_E_NOEXIST);
    case LookupResult::NoService:
        m_openResult = OPOS_OR_REGPROGID;
        return Store(OPOS_E_NOSERVICE);
    case LookupResult::Found:
        break;
    }
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(device.progId.c_str(), &clsid))) {
        m_openResult = OPOS_OR_REGPROGID;
        return Store(OPOS_E_NOSERVICE);
    }
    ComPtr<IDispatch> service;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, service.put_void()))) {
        m_openResult = OPOS_OR_CREATE;
        return Store(OPOS_E_NOSERVICE);
    }
    CServiceLink link(std::move(service));
    if (!link.Has(ServiceMember::OpenService)) {
        m_openResult = OPOS_OR_BADIF;
        return Store(OPOS_E_NOSERVICE);
    }
    m_service = std::move(link);

    Bstr deviceClass(L"CashDrawer");
    Bstr deviceKey(device.deviceKey);
    return ForwardLong(
        ServiceMember::OpenService,
        {BstrVariant(deviceClass.get()), BstrVariant(deviceKey.get()), DispatchVariant(&m_callbacks)});
}

long CCashDrawerControl::Close() {
    if (!IsOpen()) {
        return Store(OPOS_E_CLOSED);
    }
    long code;
    {
        CallScope scope(*this, CallScope::Direction::IntoService);
        code = ForwardLong(ServiceMember::Close, {});
        ReleaseService();
    }
    return code;
}

long CCashDrawerControl::Claim(long timeout) {
    return ForwardLong(ServiceMember::Claim, {LongVariant(timeout)});
}

long CCashDrawerControl::ReleaseDevice() {
    return ForwardLong(ServiceMember::Release, {});
}

long CCashDrawerControl::CheckHealth(long level) {
    return ForwardLong(ServiceMember::CheckHealth, {LongVariant(level)});
}

long CCashDrawerControl::DirectIO(long command, long* pData, BSTR* pString) {
    return ForwardLong(ServiceMember::DirectIO,
                       {LongVariant(command), LongRefVariant(pData), BstrRefVariant(pString)});
}

long CCashDrawerControl::RetrieveStatistics(BSTR* pStatisticsBuffer) {
    return ForwardLong(ServiceMember::RetrieveStatistics, {BstrRefVariant(pStatisticsBuffer)});
}

long CCashDrawerControl::OpenDrawer() {
    return ForwardVoid(ServiceMember::OpenDrawer, {});
}

long CCashDrawerControl::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                            long beepDelay) {
    return ForwardVoid(ServiceMember::WaitForDrawerClose,
                       {LongVariant(beepTimeout), LongVariant(beepFrequency), LongVariant(beepDuration),
                        LongVariant(beepDelay)});
}

long CCashDrawerControl::ResetStatistics(BSTR statisticsBuffer) {
    return ForwardLong(ServiceMember::ResetStatistics, {BstrVariant(statisticsBuffer)});
}

long CCashDrawerControl::UpdateStatistics(BSTR statisticsBuffer) {
    return ForwardLong(ServiceMember::UpdateStatistics, {BstrVariant(statisticsBuffer)});
}

long CCashDrawerControl::CompareFirmwareVersion(BSTR firmwareFileName, long* pResult) {
    return ForwardLong(ServiceMember::CompareFirmwareVersion,
                       {BstrVariant(firmwareFileName), LongRefVariant(pResult)});
}

long CCashDrawerControl::UpdateFirmware(BSTR firmwareFileName) {
    return ForwardLong(ServiceMember::UpdateFirmware, {BstrVariant(firmwareFileName)});
}

long CCashDrawerControl::SetServiceNumber(long pidx, long value) {
    return ForwardVoid(ServiceMember::SetPropertyNumber, {LongVariant(pidx), LongVariant(value)});
}

long CCashDrawerControl::SetBinaryConversion(long value) {
    if (!IsOpen()) {
        return Store(OPOS_E_CLOSED);
    }
    if (value < OPOS_BC_NONE || value > OPOS_BC_DECIMAL) {
        return Store(OPOS_E_ILLEGAL);
    }
    m_binaryConversion = value;
    return Store(OPOS_SUCCESS);
}

long CCashDrawerControl::ReadNumber(long pidx) {
    if (!IsOpen()) {
        return 0;
    }
    CallScope scope(*this, CallScope::Direction::IntoService);
    long value = 0;
    return m_service.GetNumber(pidx, value) ? value : 0;
}

long CCashDrawerControl::GetState() {
    if (!IsOpen()) {
        return OPOS_S_CLOSED;
    }
    CallScope scope(*this, CallScope::Direction::IntoService);
    long state = OPOS_S_CLOSED;
    m_service.GetNumber(PIDX_State, state);
    return state;
}

BSTR CCashDrawerControl::ReadText(long pidx) {
    BSTR text = nullptr;
    if (IsOpen()) {
        CallScope scope(*this, CallScope::Direction::IntoService);
        if (!m_service.GetText(pidx, text)) {
            text = nullptr;
        }
    }
    if (text == nullptr) {
        text = SysAllocString(L"");
        if (text == nullptr) {
            throw std::bad_alloc();
        }
    }
    return text;
}

} // namespace vtx::co
