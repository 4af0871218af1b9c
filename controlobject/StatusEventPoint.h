#pragma once
// The connection point through which the application receives the Control
// Object's events (StatusUpdateEvent and DirectIOEvent). Lives on the Control
// Object's thread; sinks are called on the thread that fires the event.
#include <windows.h>
#include <ocidl.h>

#include "com/ComPtr.h"

#include <initializer_list>
#include <vector>

namespace vtx::co {

class CStatusEventPoint : public IConnectionPoint {
public:
    // Lives inside `container`, which it shares its lifetime with.
    explicit CStatusEventPoint(IConnectionPointContainer& container) : m_container(container) {}
    CStatusEventPoint(const CStatusEventPoint&) = delete;
    CStatusEventPoint& operator=(const CStatusEventPoint&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return m_container.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return m_container.Release(); }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* piid) override;
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** ppcpc) override;
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override;
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    // Calls StatusUpdateEvent(data) on every sink connected when it starts.
    void FireStatusUpdate(long data);
    // Calls DirectIOEvent(eventNumber, pData, pString) on every sink connected
    // when it starts, in turn: each sees what the one before left there.
    void FireDirectIO(long eventNumber, long* pData, BSTR* pString);
    // Drops every sink (the Control Object is going away).
    void DisconnectAll();
    size_t ConnectionCount() const { return m_connections.size(); }

private:
    // Calls every sink with `args` in call order.
    void Fire(DISPID id, std::initializer_list<VARIANT> args);

    struct Connection {
        DWORD cookie;
        ComPtr<IDispatch> sink;
    };
    IConnectionPointContainer& m_container;
    std::vector<Connection> m_connections;
    DWORD m_nextCookie = 1;
};

} // namespace vtx::co
