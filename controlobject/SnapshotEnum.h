#pragma once
// Enumerators of connection points and of connections: each walks a copy of
// the list taken when the first of its family was made, so that advising or
// unadvising meanwhile (even from inside an event) cannot disturb a walk.
// Clones share that copy. Used on the application's thread, as every
// enumerator a client gets from an apartment-threaded object is.
#include <windows.h>
#include <ocidl.h>

#include "com/ModuleLock.h"
#include "com/ComPtr.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <vector>

namespace vtx::co {

// What a connection enumerator holds of one connection.
struct HeldConnection {
    ComPtr<IUnknown> sink;
    DWORD cookie;
};

inline void CopyOut(const ComPtr<IConnectionPoint>& held, IConnectionPoint*& out) {
    out = held.get();
    out->AddRef();
}

inline void CopyOut(const HeldConnection& held, CONNECTDATA& out) {
    out.pUnk = held.sink.get();
    out.pUnk->AddRef();
    out.dwCookie = held.cookie;
}

// Enum is IEnumConnectionPoints or IEnumConnections, Item what its Next
// hands out, Held what the copy keeps of each.
template <class Enum, class Item, class Held> class CSnapshotEnum final : public Enum {
public:
    using Items = std::vector<Held>;

    static HRESULT Create(std::shared_ptr<const Items> items, size_t position, Enum** ppEnum) {
        if (ppEnum == nullptr) {
            return E_POINTER;
        }
        *ppEnum = new (std::nothrow) CSnapshotEnum(std::move(items), position);
        return *ppEnum != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    // An enumerator of `items`, from the start.
    static HRESULT Snapshot(Items items, Enum** ppEnum) {
        if (ppEnum != nullptr) {
            *ppEnum = nullptr;
        }
        std::shared_ptr<const Items> copy;
        try {
            copy = std::make_shared<const Items>(std::move(items));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return Create(std::move(copy), 0, ppEnum);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Enum))) {
            *ppv = static_cast<Enum*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* items, ULONG* fetched) override {
        if (fetched != nullptr) {
            *fetched = 0;
        }
        if (items == nullptr) {
            return E_POINTER;
        }
        if (count != 1 && fetched == nullptr) {
            return E_INVALIDARG;
        }
        ULONG n = 0;
        for (; n < count && m_position < m_items->size(); ++n) {
            CopyOut((*m_items)[m_position++], items[n]);
        }
        if (fetched != nullptr) {
            *fetched = n;
        }
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const size_t left = m_items->size() - m_position;
        m_position += std::min<size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** ppEnum) override {
        if (ppEnum != nullptr) {
            *ppEnum = nullptr;
        }
        return Create(m_items, m_position, ppEnum);
    }

private:
    CSnapshotEnum(std::shared_ptr<const Items> items, size_t position)
        : m_items(std::move(items)), m_position(position) {
        // Our code must stay loaded for as long as a client holds an enumerator.
        LockModule();
    }
    ~CSnapshotEnum() { UnlockModule(); }

    std::shared_ptr<const Items> m_items;
    size_t m_position;
    std::atomic<ULONG> m_refs{1};
};

using CEnumConnectionPoints =
    CSnapshotEnum<IEnumConnectionPoints, IConnectionPoint*, ComPtr<IConnectionPoint>>;
using CEnumConnections = CSnapshotEnum<IEnumConnections, CONNECTDATA, HeldConnection>;

} // namespace vtx::co
