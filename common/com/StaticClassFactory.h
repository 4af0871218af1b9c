#pragma once
// A class factory that lives as long as its module (a static object). It
// holds a reference of its own, so clients can never release it to zero;
// references beyond that one tell DllCanUnloadNow that a client still holds
// it. Server locks count towards the module's lock count.
#include <windows.h>
#include <unknwn.h>

#include <atomic>

namespace vtx {

class CStaticClassFactory : public IClassFactory {
public:
    using CreateFn = HRESULT (*)(REFIID riid, void** ppv);
    using LockFn = void (*)();

    CStaticClassFactory(CreateFn create, LockFn lockModule, LockFn unlockModule)
        : m_create(create), m_lockModule(lockModule), m_unlockModule(unlockModule) {}
    CStaticClassFactory(const CStaticClassFactory&) = delete;
    CStaticClassFactory& operator=(const CStaticClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // True while a client holds a reference beyond the factory's own.
    bool IsHeldByClient() const { return m_refs.load() > 1; }

protected:
    // Static objects only; never deleted through this base.
    ~CStaticClassFactory() = default;

private:
    const CreateFn m_create;
    const LockFn m_lockModule;
    const LockFn m_unlockModule;
    std::atomic<ULONG> m_refs{1};
    std::atomic<long> m_serverLocks{0};
};

} // namespace vtx
