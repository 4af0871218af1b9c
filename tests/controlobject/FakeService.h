#pragma once
// A tiny service object for the Control Object's tests, registered by the
// test under its own ProgID: it answers the service members by name (or
// lacks some), records every call, and fires status updates through the
// callback IDispatch it was given.
#include "DispatchFake.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vtx::test {

inline constexpr wchar_t kFakeServiceProgId[] = L"Vtx.Test.FakeCashDrawerService";
// {20F5588A-A205-4124-BA18-90E9A7C9A318}
inline constexpr CLSID CLSID_FakeService = {
    0x20F5588A, 0xA205, 0x4124, {0xBA, 0x18, 0x90, 0xE9, 0xA7, 0xC9, 0xA3, 0x18}};

// What the test sets up and reads back; shared with every instance.
struct FakeServiceScript {
    std::set<std::wstring> lacks;         // member names not answered
    std::map<std::wstring, long> answers; // result code per member (default 0)
    std::vector<std::wstring> calls;      // "Claim(1000)", "SetPropertyNumber(3,1)", ...
    IDispatch* callbacks = nullptr;       // borrowed from OpenService
    std::wstring openedDevice;
    int alive = 0;                // instances not yet destroyed
    bool inCall = false;          // inside one of its calls to the callbacks
    bool destroyedInCall = false; // destroyed while a call was on its stack
    long storedCode = 0;          // its own ResultCode
    long extendedCode = 0;        // its own ResultCodeExtended
    long deviceEnabled = 0;
    long drawerOpened = 0;
};

class FakeService : public DispatchFake {
public:
    explicit FakeService(std::shared_ptr<FakeServiceScript> script);
    ~FakeService() override;

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO*, UINT*) override;

private:
    long Answer(const wchar_t* member, long fallback);

    std::shared_ptr<FakeServiceScript> m_script;
};

// Calls one of the callbacks the last OpenService handed over, by its name,
// with its arguments in call order, as the service's event window would.
HRESULT CallBack(FakeServiceScript& script, const wchar_t* name, std::vector<VARIANT> args,
                 VARIANT* result = nullptr);
HRESULT FireStatusUpdate(FakeServiceScript& script, long status);

// Registers the fake class in this process and its ProgID in the registry
// for the fixture's lifetime.
class FakeServiceRegistration {
public:
    explicit FakeServiceRegistration(std::shared_ptr<FakeServiceScript> script);
    ~FakeServiceRegistration();
    FakeServiceRegistration(const FakeServiceRegistration&) = delete;
    FakeServiceRegistration& operator=(const FakeServiceRegistration&) = delete;

private:
    class Factory;
    std::unique_ptr<Factory> m_factory;
    DWORD m_cookie = 0;
};

} // namespace vtx::test
