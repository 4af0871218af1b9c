// Lifetime, identity, connection points and class information of the
// Control Object. On the thread that created it (apartment threaded).
#include "CashDrawerControl.h"

#include "ControlIdentity.h"
#include "ControlObjectIds.h"
#include "DeferredRelease.h"
#include "com/ModuleLock.h"
#include "SnapshotEnum.h"
#include "win32/ModulePath.h"

#include <olectl.h>

#include <new>

namespace vtx::co {

namespace {
// Something of ours whose address names the module this code was linked into.
const char kModuleAnchor = 0;
} // namespace

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
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_ICashDrawerControl)) {
        *ppv = static_cast<ICashDrawerControl*>(this);
    } else if (IsEqualIID(riid, IID_IConnectionPointContainer) && Offers(Facet::Events)) {
        *ppv = static_cast<IConnectionPointContainer*>(this);
    } else if ((IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2)) &&
               Offers(Facet::TypeInfo)) {
        *ppv = static_cast<IProvideClassInfo2*>(this);
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
    try {
        return CEnumConnectionPoints::Snapshot({ComPtr<IConnectionPoint>(&m_eventPoint)}, ppEnum);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CCashDrawerControl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (ppCP == nullptr) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    if (!IsEqualIID(riid, ThisControlIdentity().events)) {
        return CONNECT_E_NOCONNECTION;
    }
    m_eventPoint.AddRef();
    *ppCP = &m_eventPoint;
    return S_OK;
}

HRESULT CCashDrawerControl::GetClassInfo(ITypeInfo** ppTI) {
    if (ppTI == nullptr) {
        return E_POINTER;
    }
    *ppTI = nullptr;
    return TypeInfoOf(CLSID_CashDrawerControl, ppTI);
}

HRESULT CCashDrawerControl::GetGUID(DWORD kind, GUID* pGUID) {
    if (pGUID == nullptr) {
        return E_POINTER;
    }
    *pGUID = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        return E_INVALIDARG;
    }
    *pGUID = ThisControlIdentity().events;
    return S_OK;
}

HRESULT CCashDrawerControl::TypeInfoOf(REFGUID guid, ITypeInfo** ppTInfo) {
    if (!m_typeLib) {
        // The DLL carries its library as TYPELIB 1; a program the object is
        // linked into may not, and then has none.
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module)) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        std::wstring path;
        try {
            path = ModuleFileName(module);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        HRESULT hr = path.empty() ? TYPE_E_CANTLOADLIBRARY
                                  : LoadTypeLibEx(path.c_str(), REGKIND_NONE, m_typeLib.put());
        if (FAILED(hr)) {
            return hr;
        }
    }
    return m_typeLib->GetTypeInfoOfGuid(guid, ppTInfo);
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

void CCashDrawerControl::OnDirectIO(long eventNumber, long* pData, BSTR* pString) {
    AddRef();
    {
        CallScope scope(*this, CallScope::Direction::FromService);
        m_eventPoint.FireDirectIO(eventNumber, pData, pString);
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
