// One class factory for a module-lifetime class object, shared by both libraries.
#include "com/StaticClassFactory.h"

#include "com/EntryGuard.h"
#include "com/QueryInterface.h"

namespace vtx {

HRESULT CStaticClassFactory::QueryInterface(REFIID riid, void** ppv) {
    return QueryAs(static_cast<IClassFactory*>(this), riid, ppv, {IID_IClassFactory});
}

ULONG CStaticClassFactory::AddRef() {
    return ++m_refs;
}

// An extra Release from a faulty client must not eat the factory's own reference.
ULONG CStaticClassFactory::Release() {
    ULONG refs = m_refs.load();
    while (refs > 1 && !m_refs.compare_exchange_weak(refs, refs - 1)) {
    }
    return refs > 1 ? refs - 1 : 1;
}

HRESULT CStaticClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    return GuardedCall([&] { return m_create(riid, ppv); });
}

HRESULT CStaticClassFactory::LockServer(BOOL lock) {
    if (lock) {
        ++m_serverLocks;
        m_lockModule();
        return S_OK;
    }
    // An unlock without a lock would let the module unload under a live object.
    long held = m_serverLocks.load();
    while (held > 0 && !m_serverLocks.compare_exchange_weak(held, held - 1)) {
    }
    if (held > 0) {
        m_unlockModule();
    }
    return S_OK;
}

} // namespace vtx
