// The service object's class factory and the module's list of factories, which
// DllGetClassObject, DllCanUnloadNow and self-registration walk.
#include "module/ClassFactory.h"

#include "module/ModuleIds.h"
#include "com/ModuleLock.h"
#include "service/CashDrawer.h"

#include <iterator>

namespace vtx {

CCashDrawerFactory::CCashDrawerFactory(const CLSID& clsid, const wchar_t* progId)
    : CStaticClassFactory(&CCashDrawer::Create, &LockModule, &UnlockModule), m_clsid(clsid),
      m_progId(progId) {}

namespace {
CCashDrawerFactory g_cashDrawerFactory(CLSID_CashDrawerServed, kCashDrawerProgId);
CCashDrawerFactory* const g_factories[] = {&g_cashDrawerFactory};
} // namespace

CCashDrawerFactory* const* ModuleFactoriesBegin() {
    return std::begin(g_factories);
}
CCashDrawerFactory* const* ModuleFactoriesEnd() {
    return std::end(g_factories);
}

} // namespace vtx
