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

CCashDrawer::CCashDrawer() = default;

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
    if (!m_properties.ReadRegistry(keyPath, &m_trace)) {
        return OPOS_E_NOSERVICE;
    }
    m_link.SetTarget(m_properties.m_strPortName, m_properties.m_nBaudRate);
    m_events.Configure(name, m_properties.m_strPortName, m_properties.m_bEventLog);
    m_properties.SetFlag(FLAG_OPEN, true);
    m_properties.State = OPOS_S_IDLE;

    // Without both callbacks the object still opens; its events reach nobody.
    BindControlObject(pDispatch);
    // A freeze belongs to the session that asked for it.
    m_eventInterface.m_dispatchThread.m_bFrozen = FALSE;
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
    // Enabled without a claim, the device holds its port itself: no attempt can
    // ever succeed, so none is made, whatever the time-out (-1 would never end).
    if (m_properties.IsEnabled()) {
        m_trace.Log(kTraceFailures, "Claim: the device is enabled without a claim and holds the port");
        return StoreResult(OPOS_E_FAILURE);
    }

    // The mutex is held per attempt, never across the message pump.
    auto attempt = [this] {
        if (m_link.OpenTarget(1)) {
            m_properties.SetFlag(FLAG_CLAIMED, true);
            return true;
        }
        return false;
    };

    if (timeout == OPOS_FOREVER) {
        while (!attempt()) {
            PumpMessages();
            Sleep(kClaimRetryPauseMs);
            // Close, or an enable that took the port, may have run inside the pump.
            if (m_bAbortClaim || m_properties.IsEnabled()) {
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
    m_link.Drop("released");
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
            m_link.Drop("closed");
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

void CCashDrawer::StopEventDispatch(DWORD limitMs) {
    StopWorker(m_eventInterface.m_dispatchThread, limitMs, "event dispatch thread", m_trace, m_events);
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
