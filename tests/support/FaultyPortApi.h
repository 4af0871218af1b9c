#pragma once
// The port's system calls for a test's lifetime: the real ones, except that a test can make the
// next set-up call fail, an open stall, a purge be refused, or a site's write time-outs be what the driver
// reports. Any thread may call it (the monitor's opener among them); it waits for them all when it goes.
#include "device/PortApi.h"

#include <atomic>

namespace vtx::test {

class FaultyPortApi : public SystemPortApi {
public:
    enum class Fail { None, GetState, SetState, SetTimeouts };

    FaultyPortApi() { SetPortApiForTesting(this); }
    ~FaultyPortApi() override {
        SetPortApiForTesting(nullptr);
        while (m_inOpen.load() != 0) { // an opener still stalled in Open
            Sleep(10);
        }
    }
    FaultyPortApi(const FaultyPortApi&) = delete;
    FaultyPortApi& operator=(const FaultyPortApi&) = delete;

    HANDLE Open(const wchar_t* path) override {
        ++m_inOpen;
        m_opens++;
        Sleep(m_openDelayMs.load());
        HANDLE h = SystemPortApi::Open(path);
        --m_inOpen;
        return h;
    }
    BOOL GetState(HANDLE port, DCB* dcb) override {
        return Failing(Fail::GetState) ? FALSE : SystemPortApi::GetState(port, dcb);
    }
    BOOL SetState(HANDLE port, DCB* dcb) override {
        return Failing(Fail::SetState) ? FALSE : SystemPortApi::SetState(port, dcb);
    }
    BOOL GetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
        BOOL ok = SystemPortApi::GetTimeouts(port, timeouts);
        if (m_siteWrite.load()) {
            timeouts->WriteTotalTimeoutMultiplier = m_siteMultiplier;
            timeouts->WriteTotalTimeoutConstant = m_siteConstant;
        }
        return ok;
    }
    BOOL SetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override {
        m_lastSet = *timeouts;
        return Failing(Fail::SetTimeouts) ? FALSE : SystemPortApi::SetTimeouts(port, timeouts);
    }

    BOOL Purge(HANDLE port, DWORD flags) override {
        if (m_refusePurge.load()) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return FALSE;
        }
        return SystemPortApi::Purge(port, flags);
    }

    // The next call of that kind fails with ERROR_GEN_FAILURE, once.
    std::atomic<Fail> m_failOnce{Fail::None};
    std::atomic<DWORD> m_openDelayMs{0};
    // A driver that cannot purge: the input must be read empty instead.
    std::atomic<bool> m_refusePurge{false};
    std::atomic<int> m_opens{0};
    std::atomic<int> m_inOpen{0};
    // The write time-outs the port's last user left in the driver, when set.
    std::atomic<bool> m_siteWrite{false};
    DWORD m_siteMultiplier = 0;
    DWORD m_siteConstant = 0;
    COMMTIMEOUTS m_lastSet{};

private:
    bool Failing(Fail call) {
        Fail expected = call;
        if (!m_failOnce.compare_exchange_strong(expected, Fail::None)) {
            return false;
        }
        SetLastError(ERROR_GEN_FAILURE);
        return true;
    }
};

} // namespace vtx::test
