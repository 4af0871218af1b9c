#pragma once
// The module's one class factory: a static object that creates CCashDrawer.
// It is invisible to DllGetClassObject until the application object marks
// it available.
#include "com/StaticClassFactory.h"

#include <atomic>

namespace vtx {

class CCashDrawerFactory final : public CStaticClassFactory {
public:
    CCashDrawerFactory(const CLSID& clsid, const wchar_t* progId);

    const CLSID& ClassId() const { return m_clsid; }
    const wchar_t* ProgId() const { return m_progId; }
    // In-process servers are registered for the apartment model only.
    const wchar_t* ThreadingModel() const { return L"Apartment"; }
    // One object may serve any number of clients; meaningless in process.
    bool MultipleInstances() const { return false; }

    bool IsAvailable() const { return m_available.load(); }
    void MarkAvailable() { m_available = true; }

private:
    const CLSID m_clsid;
    const wchar_t* const m_progId;
    std::atomic<bool> m_available{false};
};

// Every class factory of the module (there is one).
CCashDrawerFactory* const* ModuleFactoriesBegin();
CCashDrawerFactory* const* ModuleFactoriesEnd();

} // namespace vtx
