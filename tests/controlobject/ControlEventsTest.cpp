// Status updates from the service to the application's sinks, through the
// Control Object's connection point.
#include "ControlFixture.h"
#include "MessagePump.h"

#include <olectl.h>

namespace vtx::test {
namespace {

namespace dispid = co::dispid;

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

TEST_F(ControlEvents, CallbacksAnswerTheTwoServiceNamesOnly) {
    IDispatch* callbacks = script->callbacks;
    auto lookup = [callbacks](const wchar_t* name, DISPID& id) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        return callbacks->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id);
    };
    DISPID directIO = DISPID_UNKNOWN;
    DISPID statusUpdate = DISPID_UNKNOWN;
    DISPID other = 0;
    EXPECT_EQ(lookup(L"SODirectIO", directIO), S_OK);
    EXPECT_EQ(lookup(L"sostatusupdate", statusUpdate), S_OK);
    EXPECT_NE(directIO, statusUpdate);
    EXPECT_EQ(lookup(L"SOData", other), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(other, DISPID_UNKNOWN);

    // SODirectIO is taken and goes nowhere.
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    long data = 0;
    BSTR text = nullptr;
    VARIANT dataRef;
    VariantInit(&dataRef);
    V_VT(&dataRef) = VT_BYREF | VT_I4;
    V_I4REF(&dataRef) = &data;
    VARIANT textRef;
    VariantInit(&textRef);
    V_VT(&textRef) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&textRef) = &text;
    InvokeResult r = InvokeRaw(callbacks, directIO, {Long(1), dataRef, textRef});
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_TRUE(sink->Events().empty());
}

TEST_F(ControlEvents, CloseInsideAnEventReleasesTheServiceOnlyAfterItsCallReturned) {
    ComPtr<RecordingSink> sink = RecordingSink::New();
    Connect(sink.get());
    long closed = -1;
    sink->OnEvent([&](long) { closed = CallLong(control.get(), dispid::Close); });

    ASSERT_EQ(FireStatusUpdate(*script, 1), S_OK);
    EXPECT_EQ(closed, 0);
    EXPECT_FALSE(script->destroyedInCall);
    EXPECT_EQ(Get(dispid::State), 1);

    // The application's next call lets the closed service go.
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 101);
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
