// One open of the drawer's port on a detached thread that holds the module while it runs.
#include "device/PortOpener.h"

#include <new>

namespace vtx {

namespace {
// Its address names this module to GetModuleHandleExW.
const int kModuleAnchor = 0;

struct OpenerStart {
    std::shared_ptr<CPortOpener> opener;
    HMODULE module = nullptr;
};
} // namespace

CPortOpener::CPortOpener(long portNumber, unsigned long baudRate)
    : m_nPortNumber(portNumber), m_nBaudRate(baudRate), m_evDone(CreateManualResetEvent()) {}

std::shared_ptr<CPortOpener> CPortOpener::Start(long portNumber, unsigned long baudRate) {
    try {
        auto start = std::make_unique<OpenerStart>();
        start->opener = std::make_shared<CPortOpener>(portNumber, baudRate);
        std::shared_ptr<CPortOpener> opener = start->opener;
        // Without UNCHANGED_REFCOUNT: a reference of the thread's own, let go as it exits.
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                reinterpret_cast<LPCWSTR>(&kModuleAnchor), &start->module)) {
            return nullptr;
        }
        HANDLE h = CreateThread(nullptr, 0, &CPortOpener::ThreadProc, start.get(), 0, nullptr);
        if (h == nullptr) {
            FreeLibrary(start->module);
            return nullptr;
        }
        CloseHandle(h);  // nobody waits for the thread itself: Done says when it is over
        start.release(); // the thread's now
        return opener;
    } catch (...) {
        return nullptr; // no memory or no event: no reopen this time
    }
}

DWORD WINAPI CPortOpener::ThreadProc(LPVOID param) {
    HMODULE module = nullptr;
    {
        std::unique_ptr<OpenerStart> start(static_cast<OpenerStart*>(param));
        module = start->module;
        CPortOpener& self = *start->opener;
        self.m_bOpened = self.m_port.OpenConfigured(self.m_nPortNumber, self.m_nBaudRate);
        self.m_dwError = self.m_bOpened ? 0 : GetLastError();
        SetEvent(self.m_evDone.get());
        // Our share goes here: when nobody waits any more, the port is closed on this thread.
    }
    FreeLibraryAndExitThread(module, 0);
}

} // namespace vtx
