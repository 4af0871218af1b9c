// Lifetime, identity and connection points of the Control Object.
#include "CashDrawerControl.h"

#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "ObjectCount.h"

#include <olectl.h>

#include <new>

namespace vtx::co {

HRESULT CCashDrawerControl::Create(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    CCashDrawerControl* object = new (std::nothrow) CCashDrawerControl();
    if (object == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

CCashDrawerControl::CCashDrawerControl() {
    LockModule();
}

CCashDrawerControl::~CCashDrawerControl() {
    // An application that lets go without closing still closes the device.
    if (IsOpen()) {
        Close();
    }
    // Released from an event handler: the service's frames are still below us.
    DropService(std::move(m_retired));
    m_eventPoint.DisconnectAll();
    UnlockModule();
}

HRESULT CCashDrawerControl::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer)) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG CCashDrawerControl::AddRef() {
    return ++m_refs;
}

ULONG CCashDrawerControl::Release() {
    ULONG left = --m_refs;
    if (left == 0) {
        // The destructor's Close may call back into us through the service.
        m_refs = 1;
        delete this;
    }
    return left;
}

HRESULT CCashDrawerControl::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum != nullptr) {
        *ppEnum = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT CCashDrawerControl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    if (!IsEqualIID(riid, DIID_CashDrawerControlEvents)) {
        return CONNECT_E_NOCONNECTION;
    }
    m_eventPoint.AddRef();
    *ppCP = &m_eventPoint;
    return S_OK;
}

void CCashDrawerControl::OnStatusUpdate(long data) {
    // A handler may release the application's last reference or close us.
    AddRef();
    {
        CallScope scope(*this, CallScope::Direction::FromService);
        m_eventPoint.FireStatusUpdate(data);
    }
    Release();
}

void CCashDrawerControl::ReleaseService() {
    ComPtr<IDispatch> service = m_service.Detach();
    if (m_callDepth > 0) {
        m_retired = std::move(service);
    } else {
        DropService(std::move(service));
    }
}

CCashDrawerControl::CallScope::CallScope(CCashDrawerControl& owner, Direction direction)
    : m_owner(owner), m_direction(direction) {
    if (m_owner.m_callDepth++ == 0 && m_direction == Direction::IntoService) {
        DropService(std::move(m_owner.m_retired));
    }
}

CCashDrawerControl::CallScope::~CallScope() {
    if (--m_owner.m_callDepth == 0 && m_direction == Direction::IntoService) {
        DropService(std::move(m_owner.m_retired));
    }
}

} // namespace vtx::co
