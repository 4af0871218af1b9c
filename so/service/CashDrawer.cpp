// Lifetime of the service object and its open / claimed states.
#include "service/CashDrawer.h"

#include "module/ModuleLock.h"
#include "service/OposConstants.h"

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
    std::wstring keyPath = kCashDrawerClassKey;
    keyPath += L'\\';
    keyPath.append(deviceName ? deviceName : L"", deviceName ? SysStringLen(deviceName) : 0u);

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
    m_eventInterface.m_dispatchThread.Start(&EventDispatchThreadProc, &m_eventInterface);
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
    m_serialPort.Close();
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
            m_serialPort.Close();
        }
        m_properties.SetFlag(FLAG_ENABLED, false);
    }
    if (m_properties.IsClaimed()) {
        Release();
    }
    StopStatusMonitor();
    m_bAbortClaim = true;
    StopEventDispatch(kDispatchStopLimitMs);
    // A record already posted to the window would otherwise fire after Close.
    m_eventInterface.ReleasePendingMessages();
    m_properties.SetFlag(FLAG_OPEN, false);
    return StoreResult(OPOS_SUCCESS);
}

long CCashDrawer::COFreezeEvents(bool freeze) {
    auto& dispatch = m_eventInterface.m_dispatchThread;
    dispatch.m_bFrozen = freeze ? TRUE : FALSE;
    if (!freeze) {
        SetEvent(dispatch.WakeEvent());
    }
    return OPOS_SUCCESS;
}

} // namespace vtx
