// Lifetime of the service object and its open / claimed states.
#include "service/CashDrawer.h"

#include "com/ModuleLock.h"
#include "opos/OposConstants.h"

#include <new>

namespace vtx {

using namespace opos;

namespace {
constexpr DWORD kClaimRetryPauseMs = 100;
constexpr DWORD kDispatchStopLimitMs = 1000;
constexpr DWORD kFinalDispatchStopLimitMs = 2000;
constexpr DWORD kMonitorStopLimitMs = 1000;

// Lets calls that arrive on this thread (Close among them) run while an
// unlimited Claim waits for its port.
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave WM_QUIT for the thread's own message loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (got == -1) {
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
} // namespace

HRESULT CCashDrawer::Create(REFIID riid, void** ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    CCashDrawer* object = nullptr;
    try {
        object = new CCashDrawer();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = object->m_xDispatch.QueryInterface(riid, ppv);
    object->ExternalRelease();
    return hr;
}

CCashDrawer::ModuleLockHolder::ModuleLockHolder() {
    LockModule();
}
CCashDrawer::ModuleLockHolder::~ModuleLockHolder() {
    UnlockModule();
}

CCashDrawer::CCashDrawer() : m_hPortMutex(CreateUnownedMutex()) {}

CCashDrawer::~CCashDrawer() {
    StopEventDispatch(kFinalDispatchStopLimitMs);
    StopStatusMonitor();
}

ULONG CCashDrawer::ExternalAddRef() {
    return ++m_refCount;
}

ULONG CCashDrawer::ExternalRelease() {
    ULONG left = --m_refCount;
    if (left == 0) {
        OnFinalRelease();
        delete this;
    }
    return left;
}

void CCashDrawer::OnFinalRelease() {
    StopEventDispatch(kFinalDispatchStopLimitMs);
}

long CCashDrawer::OpenService(BSTR, BSTR deviceName, IDispatch* pDispatch) {
    if (m_properties.IsOpen()) {
        return StoreResult(OPOS_E_ILLEGAL);
    }
    const std::wstring name(deviceName ? deviceName : L"", deviceName ? SysStringLen(deviceName) : 0u);
    const std::wstring keyPath = std::wstring(kCashDrawerClassKey) + L'\\' + name;

    // Before anything can fail, so a failed open is traced too.
    m_trace.Configure(ReadTraceSettings(keyPath, name), name);
    m_properties.Reset();
    m_properties.CapStatus = 1;
    m_properties.CapStatusMultiDrawerDetect = 0;
    m_properties.DrawerOpened = 0;
    if (!m_properties.ReadRegistry(keyPath)) {
        return OPOS_E_NOSERVICE;
    }
    m_properties.SetFlag(FLAG_OPEN, true);
    m_properties.State = OPOS_S_IDLE;

    // Without both callbacks the object still opens; its events reach nobody.
    BindControlObject(pDispatch);
    m_eventInterface.CreateEventWindow(this);
    if (m_eventInterface.m_dispatchThread.Start(&EventDispatchThreadProc, &m_eventInterface)) {
        m_trace.Log(kTraceWire, "event dispatch thread started");
    } else {
        m_trace.Log(kTraceFailures, "event dispatch thread not started: error %lu", GetLastError());
    }
    return StoreResult(OPOS_SUCCESS);
}

long CCashDrawer::Claim(long timeout) {
    m_bAbortClaim = false;
    if (!m_properties.IsOpen()) {
        return StoreResult(OPOS_E_CLOSED);
    }
    if (m_properties.IsClaimed()) {
        return StoreResult(OPOS_E_ILLEGAL);
    }
    if (timeout < OPOS_FOREVER) {
        return StoreResult(OPOS_E_ILLEGAL);
    }

    // The mutex is held per attempt, never across the message pump: an enabled,
    // unclaimed device's monitor may be using the same handle.
    auto attempt = [this] {
        MutexLock lock(m_hPortMutex.get());
        if (OpenPort(m_properties.m_strPortName, m_properties.m_nBaudRate)) {
            m_properties.SetFlag(FLAG_CLAIMED, true);
            return true;
        }
        return false;
    };

    if (timeout == OPOS_FOREVER) {
        while (!attempt()) {
            PumpMessages();
            Sleep(kClaimRetryPauseMs);
            if (m_bAbortClaim) {
                return StoreResult(OPOS_E_FAILURE);
            }
        }
        return StoreResult(OPOS_SUCCESS);
    }

    // A positive timeout counts attempts (one per 100 ms), made back to back.
    long attempts = timeout == 0 ? 1 : timeout / 100;
    for (long i = 0; i < attempts; ++i) {
        if (m_bAbortClaim) {
            return StoreResult(OPOS_E_FAILURE);
        }
        if (attempt()) {
            return StoreResult(OPOS_SUCCESS);
        }
    }
    return StoreResult(OPOS_E_FAILURE);
}

long CCashDrawer::Release() {
    if (!m_properties.IsOpen()) {
        return StoreResult(OPOS_E_CLOSED);
    }
    if (!m_properties.IsClaimed()) {
        return StoreResult(OPOS_E_ILLEGAL);
    }
    StopStatusMonitor();
    m_properties.SetFlag(FLAG_ENABLED, false);
    ClosePort("released");
    m_properties.SetFlag(FLAG_CLAIMED, false);
    return StoreResult(OPOS_SUCCESS);
}

long CCashDrawer::Close() {
    if (!m_properties.IsOpen()) {
        return StoreResult(OPOS_E_CLOSED);
    }
    if (m_properties.IsEnabled()) {
        StopStatusMonitor();
        if (!m_properties.IsClaimed()) {
            ClosePort("closed");
        }
        m_properties.SetFlag(FLAG_ENABLED, false);
    }
    if (m_properties.IsClaimed()) {
        Release();
    }
    StopStatusMonitor();
    m_bAbortClaim = true;
    StopEventDispatch(kDispatchStopLimitMs);
    // A record already posted to the window, or still queued because no
    // dispatch thread ran, would otherwise fire after Close or in the next session.
    m_eventInterface.ReleasePendingMessages();
    m_eventInterface.DiscardQueuedEvents();
    m_properties.SetFlag(FLAG_OPEN, false);
    return StoreResult(OPOS_SUCCESS);
}

void CCashDrawer::StopStatusMonitor() {
    // The monitor looks at the request between exchanges, and an exchange on a
    // line that stopped draining lasts up to its write limit: never end it by
    // force for that.
    StopWorker(m_statusThread, kMonitorStopLimitMs + m_serialPort.ExchangeBoundMs(), "status monitor");
}

void CCashDrawer::StopEventDispatch(DWORD limitMs) {
    StopWorker(m_eventInterface.m_dispatchThread, limitMs, "event dispatch thread");
}

void CCashDrawer::StopWorker(COPOSThread& worker, DWORD limitMs, const char* name) {
    if (!worker.IsRunning()) {
        return;
    }
    const long forcedBefore = COPOSThread::ForcedStopCount();
    const DWORD start = GetTickCount();
    worker.Stop(limitMs);
    const DWORD spent = GetTickCount() - start;
    if (COPOSThread::ForcedStopCount() != forcedBefore) {
        m_trace.Log(kTraceFailures, "%s ended by force after %lu ms", name, spent);
    } else {
        m_trace.Log(kTraceWire, "%s stopped in %lu ms", name, spent);
    }
}

void CCashDrawer::ClosePort(const char* reason) {
    if (m_serialPort.IsOpen()) {
        m_serialPort.Close();
        m_trace.Log(kTraceCalls, "port closed: %s", reason);
    }
}

long CCashDrawer::COFreezeEvents(bool freeze) {
    if (freeze) {
        m_eventInterface.m_dispatchThread.m_bFrozen = TRUE;
    } else {
        m_eventInterface.Thaw();
    }
    return OPOS_SUCCESS;
}

} // namespace vtx
