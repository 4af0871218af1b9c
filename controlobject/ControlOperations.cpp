// The OPOS members of the Control Object, forwarded to the service object.
#include "CashDrawerControl.h"

#include "DeviceLookup.h"
#include "OposCodes.h"
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
        return Store(OPOS_E_ILLEGAL);
    }
    DeviceEntry device;
    switch (FindDevice(deviceName, device)) {
    case LookupResult::NoDevice:
        return Store(OPOS_E_NOEXIST);
    case LookupResult::NoService:
        return Store(OPOS_E_NOSERVICE);
    case LookupResult::Found:
        break;
    }
    CLSID clsid;
    ComPtr<IDispatch> service;
    if (FAILED(CLSIDFromProgID(device.progId.c_str(), &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, service.put_void()))) {
        return Store(OPOS_E_NOSERVICE);
    }
    m_service = CServiceLink(std::move(service));

    Bstr deviceClass(L"CashDrawer");
    Bstr deviceKey(device.deviceKey);
    long code =
        ForwardLong(ServiceMember::OpenService,
                    {TextValue(deviceClass.get()), TextValue(deviceKey.get()), DispatchValue(&m_callbacks)});
    if (code != OPOS_SUCCESS) {
        ReleaseService();
    }
    return code;
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
    return ForwardLong(ServiceMember::Claim, {LongValue(timeout)});
}

long CCashDrawerControl::ReleaseDevice() {
    return ForwardLong(ServiceMember::Release, {});
}

long CCashDrawerControl::CheckHealth(long level) {
    return ForwardLong(ServiceMember::CheckHealth, {LongValue(level)});
}

long CCashDrawerControl::DirectIO(long command, long* pData, BSTR* pString) {
    return ForwardLong(ServiceMember::DirectIO,
                       {LongValue(command), LongRefValue(pData), BstrRefValue(pString)});
}

long CCashDrawerControl::RetrieveStatistics(BSTR* pStatisticsBuffer) {
    return ForwardLong(ServiceMember::RetrieveStatistics, {BstrRefValue(pStatisticsBuffer)});
}

long CCashDrawerControl::OpenDrawer() {
    return ForwardVoid(ServiceMember::OpenDrawer, {});
}

long CCashDrawerControl::WaitForDrawerClose(long beepTimeout, long beepFrequency, long beepDuration,
                                            long beepDelay) {
    return ForwardVoid(ServiceMember::WaitForDrawerClose, {LongValue(beepTimeout), LongValue(beepFrequency),
                                                           LongValue(beepDuration), LongValue(beepDelay)});
}

long CCashDrawerControl::SetDeviceEnabled(bool enabled) {
    return ForwardVoid(ServiceMember::SetPropertyNumber, {LongValue(PIDX_DeviceEnabled), LongValue(enabled)});
}

long CCashDrawerControl::SetFreezeEvents(bool freeze) {
    return ForwardVoid(ServiceMember::SetPropertyNumber, {LongValue(PIDX_FreezeEvents), LongValue(freeze)});
}

bool CCashDrawerControl::ReadFlag(long pidx) {
    if (!IsOpen()) {
        return false;
    }
    CallScope scope(*this, CallScope::Direction::IntoService);
    long value = 0;
    return m_service.GetNumber(pidx, value) && value != 0;
}

bool CCashDrawerControl::GetDeviceEnabled() {
    return ReadFlag(PIDX_DeviceEnabled);
}
bool CCashDrawerControl::GetFreezeEvents() {
    return ReadFlag(PIDX_FreezeEvents);
}
bool CCashDrawerControl::GetDrawerOpened() {
    return ReadFlag(PIDXCash_DrawerOpened);
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

BSTR CCashDrawerControl::GetCheckHealthText() {
    BSTR text = nullptr;
    if (IsOpen()) {
        CallScope scope(*this, CallScope::Direction::IntoService);
        if (!m_service.GetText(PIDX_CheckHealthText, text)) {
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
