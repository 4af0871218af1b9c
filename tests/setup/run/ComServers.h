#pragma once
// The service object and the Control Object registered for a drawer test:
// when "OPOS.CashDrawer" is not registered yet and this build made both
// servers, they are registered with regsvr32 and unregistered afterwards.
#include <string>
#include <vector>

namespace vtx::setup::test {

bool ProgIdRegistered(const wchar_t* progId);

class ComServers {
public:
    // dlls: the servers' Unix paths, service object first; may be empty.
    explicit ComServers(std::vector<std::string> dlls);
    ~ComServers();
    ComServers(const ComServers&) = delete;
    ComServers& operator=(const ComServers&) = delete;

    bool Ready() const { return m_ready; }
    // Why not, when not ready.
    const std::string& Reason() const { return m_reason; }

private:
    std::vector<std::wstring> m_registered;
    bool m_ready = false;
    std::string m_reason;
};

// The Control Object taken out of the registry for one test (regsvr32 /u of
// our server) and registered again afterwards if it was registered before,
// so that a prefix where a drawer test ran still sees it missing.
class ControlObjectUnregistered {
public:
    explicit ControlObjectUnregistered(const std::string& controlDll);
    ~ControlObjectUnregistered();
    ControlObjectUnregistered(const ControlObjectUnregistered&) = delete;
    ControlObjectUnregistered& operator=(const ControlObjectUnregistered&) = delete;

    bool Done() const;

private:
    std::wstring m_dll;
    bool m_wasRegistered = false;
};

} // namespace vtx::setup::test
