// The Control Object's connection point for its events: sinks advised, enumerated and
// called. Used on the application's thread only.
#include "StatusEventPoint.h"

#include "ControlIdentity.h"
#include "SnapshotEnum.h"
#include "com/Invoke.h"
#include "com/QueryInterface.h"
#include "com/Variant.h"

#include <olectl.h>

#include <algorithm>
#include <new>

namespace vtx::co {

HRESULT CStatusEventPoint::QueryInterface(REFIID riid, void** ppv) {
    return QueryAs(static_cast<IConnectionPoint*>(this), riid, ppv, {IID_IConnectionPoint});
}

HRESULT CStatusEventPoint::GetConnectionInterface(IID* piid) {
    if (piid == nullptr) {
        return E_POINTER;
    }
    *piid = ThisControlIdentity().events;
    return S_OK;
}

HRESULT CStatusEventPoint::GetConnectionPointContainer(IConnectionPointContainer** ppcpc) {
    if (ppcpc == nullptr) {
        return E_POINTER;
    }
    m_container.AddRef();
    *ppcpc = &m_container;
    return S_OK;
}

HRESULT CStatusEventPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (cookie == nullptr) {
        return E_POINTER;
    }
    *cookie = 0;
    if (sink == nullptr) {
        return E_POINTER;
    }
    // Sinks written as plain IDispatch implementations are taken as well.
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(ThisControlIdentity().events, events.put_void())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, events.put_void()))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    try {
        m_connections.push_back({m_nextCookie, std::move(events)});
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    *cookie = m_nextCookie++;
    return S_OK;
}

HRESULT CStatusEventPoint::Unadvise(DWORD cookie) {
    auto it = std::find_if(m_connections.begin(), m_connections.end(),
                           [cookie](const Connection& c) { return c.cookie == cookie; });
    if (it == m_connections.end()) {
        return CONNECT_E_NOCONNECTION;
    }
    // The sink may be released from inside its own event: let it go last.
    ComPtr<IDispatch> sink = std::move(it->sink);
    m_connections.erase(it);
    return S_OK;
}

HRESULT CStatusEventPoint::EnumConnections(IEnumConnections** ppEnum) {
    try {
        CEnumConnections::Items items;
        for (const Connection& c : m_connections) {
            items.push_back({ComPtr<IUnknown>(c.sink.get()), c.cookie});
        }
        return CEnumConnections::Snapshot(std::move(items), ppEnum);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void CStatusEventPoint::Fire(DISPID id, std::initializer_list<VARIANT> args) {
    // A sink may advise or unadvise from inside its handler.
    std::vector<ComPtr<IDispatch>> sinks;
    sinks.reserve(m_connections.size());
    for (const Connection& c : m_connections) {
        sinks.push_back(c.sink);
    }
    for (const ComPtr<IDispatch>& sink : sinks) {
        UINT argErr = 0;
        InvokeByDispid(sink.get(), id, DISPATCH_METHOD, args, nullptr, nullptr, &argErr);
    }
}

void CStatusEventPoint::FireStatusUpdate(long data) {
    Fire(ThisControlIdentity().statusUpdateEvent, {LongVariant(data)});
}

void CStatusEventPoint::FireDirectIO(long eventNumber, long* pData, BSTR* pString) {
    Fire(ThisControlIdentity().directIOEvent,
         {LongVariant(eventNumber), LongRefVariant(pData), BstrRefVariant(pString)});
}

void CStatusEventPoint::DisconnectAll() {
    std::vector<Connection> gone = std::move(m_connections);
    m_connections.clear();
}

} // namespace vtx::co
