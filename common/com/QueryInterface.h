#pragma once
// QueryInterface for an object that is one interface under one or more IIDs.
// No thread affinity of its own: it runs where the object's AddRef may.
#include <unknwn.h>

#include <initializer_list>

namespace vtx {

// `self` is the object as that interface: it answers IUnknown and every IID
// in `iids`, with a reference added; anything else is E_NOINTERFACE.
template <class Interface>
HRESULT QueryAs(Interface* self, REFIID riid, void** ppv, std::initializer_list<IID> iids) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    bool known = IsEqualIID(riid, IID_IUnknown);
    for (const IID& iid : iids) {
        known = known || IsEqualIID(riid, iid);
    }
    if (!known) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = self;
    self->AddRef();
    return S_OK;
}

} // namespace vtx
