// The fake service object of the Control Object's tests (FakeService.h), on
// the test's thread.
#include "FakeService.h"

#include "com/Variant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vtx::test {

namespace {

// The service members and their DISPIDs (those of the real service object).
const std::pair<const wchar_t*, DISPID> kMembers[] = {
    {L"CheckHealth", 1},
    {L"Claim", 2},
    {L"Close", 3},
    {L"COFreezeEvents", 4},
    {L"CompareFirmwareVersion", 5},
    {L"DirectIO", 6},
    {L"OpenService", 7},
    {L"Release", 8},
    {L"ResetStatistics", 9},
    {L"RetrieveStatistics", 10},
    {L"UpdateFirmware", 11},
    {L"UpdateStatistics", 12},
    {L"GetPropertyNumber", 13},
    {L"SetPropertyNumber", 14},
    {L"GetPropertyString", 15},
    {L"OpenDrawer", 17},
    {L"WaitForDrawerClose", 18},
};

const wchar_t* NameOf(DISPID id) {
    for (const auto& [name, dispid] : kMembers) {
        if (dispid == id) {
            return name;
        }
    }
    return nullptr;
}

VARIANT& Arg(DISPPARAMS* p, UINT i) {
    return p->rgvarg[p->cArgs - 1 - i];
}

long LongArg(DISPPARAMS* p, UINT i) {
    VARIANT v;
    VariantInit(&v);
    VariantChangeType(&v, &Arg(p, i), 0, VT_I4);
    return V_I4(&v);
}

std::wstring TextArg(DISPPARAMS* p, UINT i) {
    VARIANT& v = Arg(p, i);
    return V_VT(&v) == VT_BSTR && V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : L"";
}

void SetLong(VARIANT* result, long value) {
    if (result != nullptr) {
        VariantInit(result);
        V_VT(result) = VT_I4;
        V_I4(result) = value;
    }
}

} // namespace

FakeService::FakeService(std::shared_ptr<FakeServiceScript> script)
    : DispatchFake(Lifetime::Owned), m_script(std::move(script)) {
    ++m_script->alive;
}

FakeService::~FakeService() {
    --m_script->alive;
    if (m_script->inCall) {
        m_script->destroyedInCall = true;
    }
}

HRESULT FakeService::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) {
        return DISP_E_UNKNOWNNAME;
    }
    for (const auto& [name, id] : kMembers) {
        if (CompareStringOrdinal(names[0], -1, name, -1, TRUE) == CSTR_EQUAL &&
            !m_script->lacks.count(name)) {
            *ids = id;
            return S_OK;
        }
    }
    *ids = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

long FakeService::Answer(const wchar_t* member, long fallback) {
    auto it = m_script->answers.find(member);
    m_script->storedCode = it != m_script->answers.end() ? it->second : fallback;
    return m_script->storedCode;
}

HRESULT FakeService::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* p, VARIANT* result, EXCEPINFO*,
                            UINT*) {
    const wchar_t* name = NameOf(id);
    if (name == nullptr || m_script->lacks.count(name) || (flags & DISPATCH_METHOD) == 0 || p == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    FakeServiceScript& s = *m_script;
    std::wstring call = name;
    std::wstring member = name;
    if (member == L"OpenService") {
        s.openedDevice = TextArg(p, 1);
        VARIANT& disp = Arg(p, 2);
        s.callbacks = V_VT(&disp) == VT_DISPATCH ? V_DISPATCH(&disp) : nullptr;
        call += L"(" + TextArg(p, 0) + L"," + s.openedDevice + L")";
        SetLong(result, Answer(name, 0));
    } else if (member == L"DirectIO") {
        long command = LongArg(p, 0);
        long* data = V_I4REF(&Arg(p, 1));
        BSTR* text = V_BSTRREF(&Arg(p, 2));
        call += L"(" + std::to_wstring(command) + L"," + std::to_wstring(*data) + L"," +
                (*text ? *text : L"") + L")";
        *data = command * 2;
        SysFreeString(*text);
        *text = SysAllocString(L"echo");
        SetLong(result, Answer(name, 0));
    } else if (member == L"RetrieveStatistics") {
        BSTR* text = V_BSTRREF(&Arg(p, 0));
        SysFreeString(*text);
        *text = SysAllocString(L"<statistics/>");
        SetLong(result, Answer(name, 0));
    } else if (member == L"GetPropertyNumber") {
        long pidx = LongArg(p, 0);
        call += L"(" + std::to_wstring(pidx) + L")";
        long value = pidx == 6      ? s.storedCode
                     : pidx == 7    ? s.extendedCode
                     : pidx == 3    ? s.deviceEnabled
                     : pidx == 1001 ? s.drawerOpened
                                    : 2;
        if (pidx != 1001) {
            s.storedCode = 0; // as the real service: a read leaves 0 behind
        }
        SetLong(result, value);
    } else if (member == L"SetPropertyNumber") {
        long pidx = LongArg(p, 0);
        long number = LongArg(p, 1);
        call += L"(" + std::to_wstring(pidx) + L"," + std::to_wstring(number) + L")";
        if (Answer(name, 0) == 0 && pidx == 3) {
            s.deviceEnabled = number ? 4 : 0;
        }
    } else if (member == L"GetPropertyString") {
        call += L"(" + std::to_wstring(LongArg(p, 0)) + L")";
        if (result != nullptr) {
            VariantInit(result);
            V_VT(result) = VT_BSTR;
            V_BSTR(result) = SysAllocString(L"health text");
        }
        s.storedCode = 0;
    } else if (member.find(L"Statistics") != std::wstring::npos ||
               member.find(L"Firmware") != std::wstring::npos) {
        call += L"(" + TextArg(p, 0) + L")"; // the statistics' or firmware's text
        if (p->cArgs == 2) {
            *V_I4REF(&Arg(p, 1)) = 2; // the comparison's result
        }
        SetLong(result, Answer(name, 0));
    } else if (member == L"OpenDrawer") {
        Answer(name, 0);
    } else {
        std::wstring args;
        for (UINT i = 0; i < p->cArgs; ++i) {
            args += (i ? L"," : L"") + std::to_wstring(LongArg(p, i));
        }
        call += L"(" + args + L")";
        SetLong(result, Answer(name, member == L"CheckHealth" ? 106 : 0));
    }
    s.calls.push_back(call);
    return S_OK;
}

HRESULT CallBack(FakeServiceScript& script, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result) {
    if (script.callbacks == nullptr) {
        return E_POINTER;
    }
    LPOLESTR n = const_cast<LPOLESTR>(name);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = script.callbacks->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_SYSTEM_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    script.inCall = true;
    hr = script.callbacks->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                                  nullptr, nullptr);
    script.inCall = false;
    return hr;
}

HRESULT FireStatusUpdate(FakeServiceScript& script, long status) {
    return CallBack(script, L"SOStatusUpdate", {LongVariant(status)});
}

class FakeServiceRegistration::Factory : public IClassFactory {
public:
    explicit Factory(std::shared_ptr<FakeServiceScript> script) : m_script(std::move(script)) {}
    virtual ~Factory() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Owned by the registration, which revokes it before letting it go.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override {
        FakeService* service = new FakeService(m_script);
        HRESULT hr = service->QueryInterface(riid, ppv);
        service->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::shared_ptr<FakeServiceScript> m_script;
};

FakeServiceRegistration::FakeServiceRegistration(std::shared_ptr<FakeServiceScript> script)
    : m_factory(std::make_unique<Factory>(std::move(script))) {
    EXPECT_EQ(CoRegisterClassObject(CLSID_FakeService, m_factory.get(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &m_cookie),
              S_OK);
    wchar_t clsid[40];
    StringFromGUID2(CLSID_FakeService, clsid, 40);
    std::wstring key = std::wstring(kFakeServiceProgId) + L"\\CLSID";
    EXPECT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, clsid,
                              static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}

FakeServiceRegistration::~FakeServiceRegistration() {
    CoRevokeClassObject(m_cookie);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kFakeServiceProgId);
}

} // namespace vtx::test
