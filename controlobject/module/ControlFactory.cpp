// The Control Object's class factory: creates CCashDrawerControl; server locks count towards the module's.
#include "ControlFactory.h"

#include "CashDrawerControl.h"
#include "com/ModuleLock.h"

namespace vtx::co {

namespace {
class CCashDrawerControlFactory final : public CStaticClassFactory {
public:
    CCashDrawerControlFactory()
        : CStaticClassFactory(&CCashDrawerControl::Create, &LockModule, &UnlockModule) {}
};
} // namespace

CStaticClassFactory& ControlFactory() {
    static CCashDrawerControlFactory factory;
    return factory;
}

} // namespace vtx::co
