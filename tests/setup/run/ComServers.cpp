#include "ComServers.h"

#include "UtilityProcess.h"
#include "WindowDriver.h"
#include "automation/DispatchControlObject.h"
#include "ChildProcess.h"
#include "WinePath.h"

#include <objbase.h>

namespace vtx::setup::test {

namespace {
bool Regsvr32(const std::wstring& dll, bool unregister) {
    const auto run = vtx::test::RunRegsvr32(dll, unregister,
                                            static_cast<DWORD>(std::chrono::milliseconds(kGuard).count()));
    return run.started && !run.timedOut && run.exitCode == 0;
}
} // namespace

bool ProgIdRegistered(const wchar_t* progId) {
    CLSID clsid;
    return SUCCEEDED(CLSIDFromProgID(progId, &clsid));
}

ComServers::ComServers(std::vector<std::string> dlls) {
    if (ProgIdRegistered(kControlObjectProgId)) {
        m_ready = true;
        return;
    }
    if (dlls.empty()) {
        m_reason =
            "the Control Object \"OPOS.CashDrawer\" is not registered and this build has no Control Object "
            "or service object server to register";
        return;
    }
    for (const std::string& dll : dlls) {
        std::wstring path = vtx::test::DosPathOf(dll.c_str());
        if (!Regsvr32(path, false)) {
            m_reason = "regsvr32 failed for " + dll;
            return;
        }
        m_registered.push_back(path);
    }
    m_ready = ProgIdRegistered(kControlObjectProgId);
    if (!m_ready) {
        m_reason = "\"OPOS.CashDrawer\" is still not registered after regsvr32";
    }
}

ComServers::~ComServers() {
    for (auto it = m_registered.rbegin(); it != m_registered.rend(); ++it) {
        Regsvr32(*it, true);
    }
}

ControlObjectUnregistered::ControlObjectUnregistered(const std::string& controlDll)
    : m_dll(vtx::test::DosPathOf(controlDll.c_str())),
      m_wasRegistered(ProgIdRegistered(kControlObjectProgId)) {
    if (m_wasRegistered) {
        Regsvr32(m_dll, true);
    }
}

ControlObjectUnregistered::~ControlObjectUnregistered() {
    if (m_wasRegistered) {
        Regsvr32(m_dll, false);
    }
}

bool ControlObjectUnregistered::Done() const {
    return !ProgIdRegistered(kControlObjectProgId);
}

} // namespace vtx::setup::test
