// The hidden event window: created on the application's thread, which alone runs
// its handler; the dispatch thread only posts to it.
#include "events/EventInterface.h"

#include "com/Invoke.h"
#include "com/Variant.h"
#include "trace/TraceLog.h"

#include <new>

namespace vtx {

namespace {

constexpr wchar_t kWindowClass[] = L"VTXCashDrawerEventWindow";
constexpr DWORD kWindowThreadStopLimitMs = 5000;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

} // namespace

CEventInterface::~CEventInterface() {
    if (m_dispatchThread.IsRunning()) {
        m_dispatchThread.Stop(kWindowThreadStopLimitMs);
    }
    if (m_hWnd != nullptr) {
        ReleasePendingMessages();
        DestroyWindow(m_hWnd);
        // Fails while another object's window still uses the class; the last one removes it,
        // so an unloaded library leaves no class pointing into it.
        UnregisterClassW(kWindowClass, ThisModule());
    }
}

void CEventInterface::CreateEventWindow(IEventOwner* owner) {
    m_pOwner = owner;
    if (m_hWnd != nullptr) {
        return;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &CEventInterface::WindowProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kWindowClass;
    RegisterClassExW(&wc); // already registered by another object: fine
    m_hWnd =
        CreateWindowExW(0, kWindowClass, L"EventInterfaceWindow", WS_CHILD, 0, 0, 0, 0, GetDesktopWindow(),
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(EVENT_WINDOW_ID)), ThisModule(), this);
}

LRESULT CALLBACK CEventInterface::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CEventInterface*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    try {
        if (msg == WM_COMMAND && self != nullptr && self->HandleCommand(wParam, lParam)) {
            return 0;
        }
    } catch (...) {
        // Nothing may unwind through the system's frames; the event is dropped.
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

BOOL CEventInterface::HandleCommand(WPARAM wParam, LPARAM lParam) {
    if (wParam == EVENT_THAW_COMMAND_ID) {
        FireHeld();
        return TRUE;
    }
    if (wParam != EVENT_COMMAND_ID) {
        return FALSE;
    }
    auto* record = reinterpret_cast<COPOSEvent*>(lParam);
    if (record == nullptr) {
        return FALSE;
    }
    // Nothing fires while frozen, and nothing overtakes what is held.
    if (Frozen() || !m_held.empty()) {
        m_held.push_back(record); // keeps the message's hold
        return TRUE;
    }
    // The application may let go of the Control Object, and so of us, inside
    // the event: our final release waits until this handler is done.
    IEventOwner* owner = m_pOwner;
    if (owner != nullptr) {
        owner->ExternalAddRef();
    }
    BOOL fired = FireEvent(record);
    // The message's hold on the record ends here, however the firing went.
    record->ReleaseHolder();
    if (owner != nullptr) {
        owner->ExternalRelease(); // may destroy this window: nothing of ours is touched after
    }
    return fired;
}

BOOL CEventInterface::FireEvent(COPOSEvent* record) {
    if (m_pOwner == nullptr) {
        return FALSE;
    }
    IDispatch* controlObject = m_pOwner->ControlObject();
    if (record->m_nKind == EVENT_KIND_STATUS_UPDATE && controlObject != nullptr) {
        const VARIANT arg = LongVariant(static_cast<CStatusUpdateEvent*>(record)->m_nStatus);
        HRESULT hr = InvokeByDispid(controlObject, m_pOwner->StatusUpdateDispid(), DISPATCH_METHOD, {&arg, 1},
                                    nullptr);
        m_pOwner->Trace().Log(FAILED(hr) ? kTraceFailures : kTraceCalls,
                              "status %ld: SOStatusUpdate answered 0x%08lX", V_I4(&arg),
                              static_cast<unsigned long>(hr));
        if (FAILED(hr)) {
            // Not signalled: the dispatch thread gives the record up after its hand-over limit.
            return FALSE;
        }
    }
    SetEvent(record->m_evDone.get());
    return TRUE;
}

long CEventInterface::QueueStatusUpdate(long status) {
    auto* record = new CStatusUpdateEvent(status);
    ResetEvent(record->m_evDone.get());
    {
        std::lock_guard lock(m_dispatchThread.m_events);
        m_dispatchThread.m_events.Add(record);
    }
    SetEvent(m_dispatchThread.WakeEvent());
    if (m_pOwner != nullptr) {
        m_pOwner->Trace().Log(kTraceCalls, "status %ld queued", status);
    }
    return 0;
}

void CEventInterface::FireHeld() {
    if (m_held.empty()) {
        return;
    }
    // The application may let go of us inside an event: keep the object alive
    // until the loop is over.
    IEventOwner* owner = m_pOwner;
    if (owner != nullptr) {
        owner->ExternalAddRef();
    }
    while (!m_held.empty() && !Frozen()) {
        COPOSEvent* record = m_held.front();
        m_held.pop_front();
        FireEvent(record);
        record->ReleaseHolder();
    }
    if (owner != nullptr) {
        owner->ExternalRelease(); // may destroy this window: nothing of ours is touched after
    }
}

void CEventInterface::Thaw() {
    m_dispatchThread.m_bFrozen = FALSE;
    // Posted before the dispatch thread is woken, so held records fire first.
    if (m_hWnd != nullptr && !m_held.empty()) {
        PostMessageW(m_hWnd, WM_COMMAND, EVENT_THAW_COMMAND_ID, 0);
    }
    SetEvent(m_dispatchThread.WakeEvent());
}

void CEventInterface::DiscardQueuedEvents() {
    std::lock_guard lock(m_dispatchThread.m_events);
    m_dispatchThread.m_events.RemoveAll();
}

void CEventInterface::ReleasePendingMessages() {
    for (COPOSEvent* record : m_held) {
        record->ReleaseHolder();
    }
    m_held.clear();
    if (m_hWnd == nullptr) {
        return;
    }
    MSG msg;
    while (PeekMessageW(&msg, m_hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
        if (msg.wParam == EVENT_COMMAND_ID && msg.lParam != 0) {
            reinterpret_cast<COPOSEvent*>(msg.lParam)->ReleaseHolder();
        }
    }
}

} // namespace vtx
