#pragma once
// What every hand-written IDispatch fake of the tests shares: IUnknown with its reference count, and no type
// information, so each fake writes only the members it fakes. The count is atomic; the rest is the fake's
// own.
#include <windows.h>
#include <oaidl.h>

#include <atomic>

namespace vtx::test {

class DispatchFake : public IDispatch {
public:
    // Counted: lives where the test put it and only counts references, so a test can see any left behind.
    // Owned: on the heap with its creator's reference, and deletes itself on the last Release.
    enum class Lifetime { Counted, Owned };

    explicit DispatchFake(Lifetime lifetime)
        : m_owned(lifetime == Lifetime::Owned), m_refs(m_owned ? 1 : 0) {}
    virtual ~DispatchFake() = default;
    DispatchFake(const DispatchFake&) = delete;
    DispatchFake& operator=(const DispatchFake&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || AlsoAnswers(riid)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
    ULONG STDMETHODCALLTYPE Release() override {
        long left = --m_refs;
        if (left == 0 && m_owned) {
            delete this;
        }
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

protected:
    // Another interface the fake answers with its IDispatch, as an event sink answers its dispinterface.
    virtual bool AlsoAnswers(REFIID) const { return false; }
    long Refs() const { return m_refs.load(); }

private:
    const bool m_owned;
    std::atomic<long> m_refs;
};

} // namespace vtx::test
