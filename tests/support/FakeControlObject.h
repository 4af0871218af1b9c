#pragma once
// Stands in for the OPOS Control Object: answers "SODirectIO" and
// "SOStatusUpdate" (or lacks one of them) and records every status update
// with the thread it arrived on.
#include "DispatchFake.h"

#include <functional>
#include <mutex>
#include <vector>

namespace vtx::test {

struct StatusUpdate {
    long status;
    DWORD threadId;
};

class FakeControlObject : public DispatchFake {
public:
    enum class Lacks { Nothing, DirectIO, StatusUpdate };
    static constexpr DISPID kDispidDirectIO = 301;
    static constexpr DISPID kDispidStatusUpdate = 302;

    explicit FakeControlObject(Lacks lacks = Lacks::Nothing)
        : DispatchFake(Lifetime::Counted), m_lacks(lacks) {}

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override;

    std::vector<StatusUpdate> Updates() const;
    // The updates' status codes alone, in arrival order.
    std::vector<long> Statuses() const;
    // Every Invoke, whatever its DISPID: a service that should call nothing calls nothing.
    long Invocations() const { return m_invocations.load(); }
    // Runs inside SOStatusUpdate, on the thread that delivers the event.
    void OnStatusUpdate(std::function<void(long)> handler) { m_handler = std::move(handler); }
    // References taken and not given back; the service object must borrow only.
    long OutstandingRefs() const { return Refs(); }
    std::vector<std::wstring> LookedUpNames() const;

private:
    Lacks m_lacks;
    std::atomic<long> m_invocations{0};
    mutable std::mutex m_lock;
    std::vector<StatusUpdate> m_updates;
    std::vector<std::wstring> m_lookups;
    std::function<void(long)> m_handler;
};

} // namespace vtx::test
