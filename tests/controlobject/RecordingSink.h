#pragma once
// An application's event sink: records every StatusUpdateEvent with the
// thread it arrived on, and may run a handler inside the event. A
// DirectIOEvent is recorded by its number; the sink adds 1 to its data and
// "!" to its text, as an application answering the service would.
#include "DispatchFake.h"
#include "com/ComPtr.h"

#include <functional>
#include <vector>

namespace vtx::test {

struct ReceivedEvent {
    long data;
    DWORD threadId;
};

class RecordingSink : public DispatchFake {
public:
    // A new sink with the caller's reference; the Control Object may keep it
    // alive beyond the caller.
    static ComPtr<RecordingSink> New(bool answersEventsIid = true) {
        return ComPtr<RecordingSink>::Attach(new RecordingSink(answersEventsIid));
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO*, UINT*) override;

    const std::vector<ReceivedEvent>& Events() const { return m_events; }
    const std::vector<long>& DirectIOEvents() const { return m_directIO; }
    void OnEvent(std::function<void(long)> handler) { m_handler = std::move(handler); }
    // References held besides the creator's; 0 once the Control Object let it go.
    ULONG HeldReferences() const { return static_cast<ULONG>(Refs() - 1); }

private:
    explicit RecordingSink(bool answersEventsIid)
        : DispatchFake(Lifetime::Owned), m_answersEventsIid(answersEventsIid) {}
    ~RecordingSink() override = default;
    bool AlsoAnswers(REFIID riid) const override;

    bool m_answersEventsIid;
    std::vector<ReceivedEvent> m_events;
    std::vector<long> m_directIO;
    std::function<void(long)> m_handler;
};

} // namespace vtx::test
