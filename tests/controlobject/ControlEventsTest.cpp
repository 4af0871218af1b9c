// Status updates and DirectIO from the service to the application's sinks,
// through the Control Object's connection point, which enumerates.
#include "ByRef.h"
#include "ControlFixture.h"
#include "MessagePump.h"

#include <olectl.h>

#include <utility>
#include <vector>

namespace vtx::test {
namespace {

class ControlEvents : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        ASSERT_EQ(Open(device.Name()), 0);
        ASSERT_NE(script->callbacks, nullptr);
    }
};

// Something that is no IDispatch at all.
class PlainUnknown : public IUnknown {
public:
    virtual ~PlainUnknown() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = IsEqualIID(riid, IID_IUnknown) ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(ControlEvents, StatusUpdatesReachEverySinkOnTheServicesThread) {
    ComPtr<RecordingSink> first = RecordingSink::New();
    ComPtr<RecordingSink> plainDispatch = RecordingSink::New(false);
    Connect(first.get());
    Connect(plainDispatch.get());

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    ASSERT_EQ(FireStatusUpdate(*script, 0), S_OK);

    const DWORD self = GetCurrentThreadId();
    for (const RecordingSink* sink : {first.get(), plainDispatch.get()}) {
        ASSERT_EQ(sink->Events().size(), 2u);
        EXPECT_EQ(sink->Events()[0].data, 1);
        EXPECT_EQ(sink->Events()[1].data, 0);
        EXPECT_EQ(sink->Events()[0].threadId, self);
    }
}

TEST_F(ControlEvents, UnadvisedSinkIsReleasedAndHearsNothing) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    ComPtr<IConnectionPoint> point = EventPoint();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    EXPECT_GT(sink->HeldReferences(), 0u);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink->HeldReferences(), 0u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    EXPECT_TRUE(sink->Events().empty());
}

TEST_F(ControlEvents, SinkMayDisconnectItselfInsideItsEvent) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    ComPtr<RecordingSink> other = RecordingSink::New();
    ComPtr<IConnectionPoint> point = EventPoint();
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    Connect(other.get());
    sink->OnEvent([&](long) { EXPECT_EQ(point->Unadvise(cookie), S_OK); });

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    ASSERT_EQ(FireStatusUpdate(*script, 0), S_OK);
    EXPECT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(other->Events().size(), 2u);
}

TEST_F(ControlEvents, ConnectionPointRefusesWhatIsNoDispatchAndOtherInterfaces) {
    ComPtr<IConnectionPoint> point = EventPoint();
    PlainUnknown plain;
    DWORD cookie = 7;
    EXPECT_EQ(point->Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, co::DIID_CashDrawerControlEvents));

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(point->GetConnectionPointContainer(container.put()), S_OK);
    ComPtr<IUnknown> fromPoint;
    ComPtr<IUnknown> fromControl;
    ASSERT_EQ(container->QueryInterface(IID_IUnknown, fromPoint.put_void()), S_OK);
    ASSERT_EQ(control->QueryInterface(IID_IUnknown, fromControl.put_void()), S_OK);
    EXPECT_EQ(fromPoint.get(), fromControl.get());

    IConnectionPoint* none = reinterpret_cast<IConnectionPoint*>(0x1234);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &none), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(none, nullptr);
}

TEST_F(ControlEvents, CallbacksAnswerTheServiceNamesOnly) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    // Events a cash drawer never has are taken and go nowhere; SOProcessID answers.
    const std::pair<const wchar_t*, std::vector<VARIANT>> harmless[] = {
        {L"SOData", {Long(1)}},
        {L"soerror", {Long(111), Long(0), Long(1), Long(0)}},
        {L"SOOutputComplete", {Long(3)}},
        {L"SOOutputCompleteEvent", {Long(3)}},
        {L"SOProcessID", {}}};
    for (const auto& [name, args] : harmless) {
        Variant result;
        EXPECT_EQ(CallBack(*script, name, args, result.get()), S_OK) << name;
        EXPECT_EQ(V_VT(result.get()), name[2] == L'P' ? VT_I4 : VT_EMPTY) << name;
        EXPECT_TRUE(name[2] != L'P' || V_I4(result.get()) == static_cast<long>(GetCurrentProcessId()));
    }
    EXPECT_TRUE(sink->Events().empty());
    EXPECT_EQ(CallBack(*script, L"SOFrobnicate", {}), DISP_E_UNKNOWNNAME);
}

TEST_F(ControlEvents, DirectIOReachesEverySinkInTurnAndWhatTheyLeaveGoesBackToTheService) {
    ComPtr<RecordingSink> first = RecordingSink::New();
    ComPtr<RecordingSink> plainDispatch = RecordingSink::New(false);
    Connect(first.get());
    Connect(plainDispatch.get());
    long data = 5;
    BSTR text = SysAllocString(L"in");
    VARIANT dataRef = LongRef(&data);
    VARIANT textRef = BstrRef(&text);
    EXPECT_EQ(CallBack(*script, L"SODirectIO", {Long(9), dataRef, textRef}), S_OK);
    EXPECT_EQ(data, 7);
    EXPECT_STREQ(text, L"in!!");
    EXPECT_EQ(first->DirectIOEvents(), std::vector<long>{9});
    EXPECT_EQ(plainDispatch->DirectIOEvents(), std::vector<long>{9});
    SysFreeString(text);
}

TEST_F(ControlEvents, ConnectionPointsAndConnectionsAreEnumeratedAsSnapshots) {
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    IConnectionPoint* got[2] = {};
    ULONG fetched = 9;
    ASSERT_EQ(points->Next(2, got, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    ComPtr<IConnectionPoint> point = ComPtr<IConnectionPoint>::Attach(got[0]);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, co::DIID_CashDrawerControlEvents));
    EXPECT_EQ(points->Next(1, got, nullptr), S_FALSE);
    EXPECT_EQ(points->Reset(), S_OK);
    EXPECT_EQ(points->Skip(2), S_FALSE);

    ComPtr<RecordingSink> gone = RecordingSink::New();
    ComPtr<RecordingSink> kept = RecordingSink::New();
    const DWORD goneCookie = Connect(gone.get());
    const DWORD keptCookie = Connect(kept.get());
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.put()), S_OK);
    EXPECT_EQ(point->Unadvise(goneCookie), S_OK); // the snapshot still holds it
    CONNECTDATA data[2] = {};
    EXPECT_EQ(connections->Next(2, data, nullptr), E_INVALIDARG);
    ASSERT_EQ(connections->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, goneCookie);
    EXPECT_EQ(data[0].pUnk, static_cast<IUnknown*>(gone.get()));
    data[0].pUnk->Release();
    ComPtr<IEnumConnections> clone;
    ASSERT_EQ(connections->Clone(clone.put()), S_OK);
    connections.reset();
    ASSERT_EQ(clone->Next(2, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, keptCookie);
    data[0].pUnk->Release();
    clone.reset();
    EXPECT_EQ(gone->HeldReferences(), 0u);
}

TEST_F(ControlEvents, CloseInsideAnEventReleasesTheServiceOnlyAfterItsCallReturned) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    long closed = -1;
    sink->OnEvent([&](long) { closed = CallLong(control.get(), co_dispid::Close); });

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    EXPECT_EQ(closed, 0);
    EXPECT_FALSE(script->destroyedInCall);
    EXPECT_EQ(Get(co_dispid::State), 1);

    // The application's next call lets the closed service go.
    EXPECT_EQ(Call(co_dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(script->alive, 0);
}

TEST_F(ControlEvents, ReleasingTheControlObjectInsideAnEventReleasesTheServiceAfterItsCallReturned) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    sink->OnEvent([&](long) { control.reset(); });

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    EXPECT_FALSE(script->destroyedInCall);
    EXPECT_EQ(script->calls.back(), L"Close()");
    // Let go from the application's message loop.
    EXPECT_TRUE(PumpUntil([&] { return script->alive == 0; }, 10000));
}

TEST_F(ControlEvents, ReleasingTheControlObjectLetsItsSinksGo) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    control.reset();
    EXPECT_EQ(sink->HeldReferences(), 0u);
}

} // namespace
} // namespace vtx::test
