// The module's one application object and its load-time initialisation.
#include "module/VTXCashDrawerApp.h"

#include "module/ClassFactory.h"

namespace vtx {

namespace {
CVTXCashDrawerApp g_app;
}

CVTXCashDrawerApp& TheApp() {
    return g_app;
}

BOOL CVTXCashDrawerApp::InitInstance(HINSTANCE instance) {
    m_hInstance = instance;
    for (auto it = ModuleFactoriesBegin(); it != ModuleFactoriesEnd(); ++it) {
        CCashDrawerFactory* factory = *it;
        if (!factory->IsAvailable() && !IsEqualCLSID(factory->ClassId(), CLSID_NULL)) {
            factory->MarkAvailable();
        }
    }
    return TRUE;
}

} // namespace vtx
