// The trace log as a support engineer uses it: switched on in the device key,
// read back as text after a session against the virtual drawer.
#include "ChildProcess.h"
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "MessagePump.h"
#include "ServiceObject.h"
#include "VirtualDrawer.h"
#include "WinePath.h"
#include "EventMessages.h"
#include "EventRecorder.h"
#include "trace/TraceLog.h"
#include "win32/UniqueHandle.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace vtx::test {
namespace {

// Time with milliseconds, process, thread, architecture, device, message.
const std::regex kLine(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} +\d+ +\d+ (32|64) \S+ .+)");

std::wstring TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring folder = std::wstring(base) + L"vtxtrace-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                          std::to_wstring(GetTickCount());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::optional<std::string> ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Whole lines only: each ends in CR LF and has every field.
std::vector<std::string> LinesOf(const std::wstring& path) {
    std::vector<std::string> lines;
    std::string text = ReadFile(path).value_or("");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "torn last line";
        if (end == std::string::npos) {
            break;
        }
        lines.push_back(text.substr(at, end - at));
        EXPECT_TRUE(std::regex_match(lines.back(), kLine)) << lines.back();
        at = end + 2;
    }
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& fragment) {
    for (const std::string& l : lines) {
        if (l.find(fragment) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void ExpectInOrder(const std::vector<std::string>& lines, const std::vector<std::string>& fragments) {
    size_t next = 0;
    for (const std::string& fragment : fragments) {
        while (next < lines.size() && lines[next].find(fragment) == std::string::npos) {
            ++next;
        }
        ASSERT_LT(next, lines.size()) << "\"" << fragment << "\" missing or out of order";
        ++next;
    }
}

class TraceLog : public ::testing::Test {
protected:
    void SetUp() override {
        drawer.Reset();
        device.SetPort(drawer.PortName());
    }
    void TearDown() override {
        so.reset();
        for (const std::wstring& f : {logFile, logFile + L".1"}) {
            DeleteFileW(f.c_str());
        }
        RemoveDirectoryW(folder.c_str());
    }
    void SwitchOn(DWORD level, std::optional<DWORD> maxKb = std::nullopt) {
        device.SetRaw(L"TraceLevel", REG_DWORD, &level, sizeof(level));
        device.SetRaw(L"TraceFile", REG_SZ, logFile.c_str(), static_cast<DWORD>((logFile.size() + 1) * 2));
        if (maxKb) {
            device.SetRaw(L"TraceMaxKB", REG_DWORD, &*maxKb, sizeof(DWORD));
        }
    }
    long Number(long pidx) { return CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(pidx)}); }
    bool Flushed() { return CCashDrawer::FromDispatch(so.get())->Trace().Flush(20000); }
    // A log of this test's own, at level 3.
    void Configure(CTraceLog& log, uint64_t maxBytes) {
        log.Configure({kTraceWire, logFile, maxBytes}, L"VX-TRC");
    }
    // A short POS session on a new object; every answer, in order.
    std::vector<long> Session() {
        FakeControlObject app;
        ComPtr<IDispatch> object = NewServiceObject();
        IDispatch* o = object.get();
        auto code = [o] { return CallLong(o, so_dispid::GetPropertyNumber, {Long(6)}); };
        std::vector<long> codes;
        codes.push_back(OpenService(o, device.Name(), &app));
        CallVoid(o, so_dispid::OpenDrawer); // not enabled yet
        codes.push_back(code());
        codes.push_back(CallLong(o, so_dispid::Claim, {Long(1000)}));
        CallVoid(o, so_dispid::SetPropertyNumber, {Long(3), Long(1)});
        codes.push_back(code());
        CallVoid(o, so_dispid::OpenDrawer);
        codes.push_back(code());
        codes.push_back(PumpUntil([&] { return app.Updates().size() == 1; }, 20000) ? 1 : 0);
        codes.push_back(CallLong(o, so_dispid::CheckHealth, {Long(1)}));
        codes.push_back(CallLong(o, so_dispid::Close));
        EXPECT_TRUE(CCashDrawer::FromDispatch(o)->Trace().Flush(20000));
        return codes;
    }

    VirtualDrawer drawer;
    DeviceKey device{UniqueDeviceName(L"VX-TRC")};
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
    std::wstring folder = TempFolder();
    std::wstring logFile = folder + L"\\drawer.log";
};

TEST_F(TraceLog, LevelThreeShowsCallsBytesAndEventsInOrder) {
    SwitchOn(3);
    EXPECT_EQ(Session(), (std::vector<long>{0, 106, 0, 0, 0, 1, 106, 0}));

    std::vector<std::string> lines = LinesOf(logFile);
    ExpectInOrder(lines, {"event dispatch thread started", "OpenService(\"CashDrawer\", \"VX-TRC",
                          "OpenDrawer(), ResultCode 106", "opened at 9600 bit/s", "Claim(1000) = 0",
                          "status monitor started", "SetPropertyNumber(3, 1), ResultCode 0",
                          "TX 1C 1E 11 13 (open drawer)", "OpenDrawer(), ResultCode 0", "RX 19 (open)",
                          "status 1 queued", "status 1: SOStatusUpdate answered 0x00000000",
                          "status monitor stopped in", "event dispatch thread stopped in", "Close() = 0"});
    ExpectInOrder(lines, {"status monitor started", "TX 1D 1B 0F 0C (status request)"});
    EXPECT_NE(lines.front().find(sizeof(void*) == 8 ? " 64 VX-TRC" : " 32 VX-TRC"), std::string::npos);
}

TEST_F(TraceLog, LevelOneLogsOnlyFailures) {
    SwitchOn(1);
    device.SetPort(L"COM255"); // no such port: the claim fails
    EXPECT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    EXPECT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(0)}), 111);
    EXPECT_EQ(Number(1001), 0);
    EXPECT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    ASSERT_TRUE(Flushed());

    std::vector<std::string> lines = LinesOf(logFile);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("(COM255) not opened: error"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("Claim(0) = 111"), std::string::npos) << lines[1];
}

TEST_F(TraceLog, RollsOverOnceAtTheCap) {
    SwitchOn(2, 1);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    for (long i = 0; i < 60; ++i) {
        Number(i);
    }
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    ASSERT_TRUE(Flushed());

    std::vector<std::string> current = LinesOf(logFile);
    std::vector<std::string> rolled = LinesOf(logFile + L".1");
    EXPECT_LE(ReadFile(logFile)->size(), 1024u);
    EXPECT_LE(ReadFile(logFile + L".1")->size(), 1024u);
    EXPECT_FALSE(rolled.empty());
    EXPECT_TRUE(Contains(current, "Close() = 0"));
}

TEST_F(TraceLog, UnwritablePathChangesNoResult) {
    std::vector<long> untraced = Session();
    drawer.Reset();
    // No folder can be made under a file.
    std::ofstream(logFile.c_str()) << "not a folder";
    const std::wstring wanted = logFile;
    logFile += L"\\sub\\drawer.log";
    SwitchOn(3);
    EXPECT_EQ(Session(), untraced);
    logFile = wanted;
}

TEST_F(TraceLog, TwoProcessesAppendingAtOnceLeaveOnlyWholeLines) {
    constexpr int kLines = 400;
    std::vector<UniqueHandle> writers;
    for (const wchar_t* tag : {L"A", L"B"}) {
        std::wstring command = Quoted(DosPathOf(VTX_TRACEWRITER_EXE)) + L" " + Quoted(logFile) + L" " +
                               std::to_wstring(kLines) + L" " + tag;
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        ASSERT_TRUE(
            CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        CloseHandle(pi.hThread);
        writers.emplace_back(pi.hProcess);
    }
    for (const UniqueHandle& w : writers) {
        ASSERT_EQ(WaitForSingleObject(w.get(), 120000), WAIT_OBJECT_0);
    }
    std::vector<std::string> lines = LinesOf(logFile);
    EXPECT_EQ(lines.size(), 2u * kLines);
    int fromA = 0;
    for (const std::string& l : lines) {
        EXPECT_NE(l.find(" end"), std::string::npos) << l;
        fromA += l.find(" A line ") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(fromA, kLines);
}

TEST_F(TraceLog, ApplicationTextIsEscapedIntoOneLine) {
    SwitchOn(2);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    const std::pair<std::wstring, std::string> cases[] = {
        {L"a\r\nb", R"(a\r\nb)"},
        {std::wstring(L"x\0y", 3), R"(x\0y)"},
        {L"\t\x01\x1F\x7F\u00e9", "\\t\\x01\\x1F\\x7F\u00e9"},
        {L"C:\\fw\\x0d.bin", R"(C:\\fw\\x0d.bin)"},
        {L"\r\n2024-01-01 00:00:00.000 1 1 64 VX forged", R"(\r\n2024-01-01 00:00:00.000 1 1 64 VX forged)"}};
    for (const auto& [text, shown] : cases) {
        VARIANT v = Text(L"");
        SysReAllocStringLen(&V_BSTR(&v), text.data(), static_cast<UINT>(text.size()));
        Arg arg(v);
        CallLong(so.get(), so_dispid::UpdateStatistics, {arg.v()});
    }
    ASSERT_TRUE(Flushed());
    std::vector<std::string> lines = LinesOf(logFile);
    EXPECT_EQ(lines.size(), 1 + std::size(cases));
    for (const auto& [text, shown] : cases) {
        EXPECT_TRUE(Contains(lines, "UpdateStatistics(\"" + shown + "\") = ")) << shown;
    }
}

TEST_F(TraceLog, LogNeitherWaitsForTheFileNorChangesTheLastError) {
    // The same file spelt otherwise names the same mutex.
    const std::wstring last = folder.substr(folder.find_last_of(L'\\') + 1);
    const std::wstring respelt = folder + L"/../" + last + L"/DRAWER.LOG";
    EXPECT_EQ(TraceMutexName(logFile), TraceMutexName(respelt));
    EXPECT_NE(TraceMutexName(logFile), TraceMutexName(logFile + L".1"));
    CTraceLog log;
    Configure(log, 1 << 20);
    UniqueHandle taken = CreateManualResetEvent();
    UniqueHandle release = CreateManualResetEvent();
    std::thread holder([&] {
        UniqueHandle mutex(CreateMutexW(nullptr, TRUE, TraceMutexName(respelt).c_str()));
        SetEvent(taken.get());
        WaitForSingleObject(release.get(), 60000);
        ReleaseMutex(mutex.get());
    });
    ASSERT_EQ(WaitForSingleObject(taken.get(), 20000), WAIT_OBJECT_0);
    const DWORD start = GetTickCount();
    for (DWORD error : {0ul, 5ul, 1234ul}) {
        SetLastError(error);
        log.Log(kTraceFailures, "held %lu", error);
        EXPECT_EQ(GetLastError(), error);
    }
    EXPECT_LT(GetTickCount() - start, 150u); // the log used to wait up to 200 ms for each
    EXPECT_FALSE(log.Flush(0));
    SetEvent(release.get());
    holder.join();
    ASSERT_TRUE(log.Flush(20000));
    ExpectInOrder(LinesOf(logFile), {"held 0", "held 5", "held 1234"});
}

// The lines "line N" in the file, and those its counts for why say were left out.
uint64_t Accounted(const std::wstring& file, const std::string& why) {
    uint64_t count = 0;
    for (const std::string& l : LinesOf(file)) {
        const size_t at = l.find(" lines dropped: " + why);
        count += at != std::string::npos ? std::stoull(l.substr(l.rfind(' ', at - 1) + 1))
                                         : l.find(" line ") != std::string::npos;
    }
    return count;
}

TEST_F(TraceLog, FailedRolloverStopsTheFileAtTwiceTheCapAndCountsTheLinesLeftOut) {
    UniqueFileHandle held;
    // The file held so (no FILE_SHARE_DELETE on "<file>.1": it cannot be replaced), and how
    // it takes lines again (a Configure tries the rollover at once): each line is written or counted.
    const std::tuple<std::wstring, DWORD, std::string, std::function<void(CTraceLog&)>> cases[] = {
        {logFile + L".1", FILE_SHARE_READ, "the log could not roll over",
         [&](CTraceLog& log) { held.reset(), Configure(log, 4096); }},
        {logFile + L".1", FILE_SHARE_READ, "the log could not roll over",
         [&](CTraceLog&) { DeleteFileW(logFile.c_str()); }},
        {logFile, 0, "the log could not be opened or written", [&](CTraceLog&) { held.reset(); }}};
    const std::string padding(100, '.');
    for (const auto& [file, share, why, release] : cases) {
        EventRecorder events; // once per log and window, however many lines
        CTraceLog log;
        Configure(log, 4096);
        held.reset(CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_ALWAYS, 0, nullptr));
        ASSERT_TRUE(held);
        for (int i = 0; i < 200; ++i) {
            log.Log(kTraceFailures, "line %d %s", i, padding.c_str());
        }
        ASSERT_TRUE(log.Flush(20000));
        const size_t size = ReadFile(logFile).value_or("").size();
        EXPECT_TRUE(share == 0 || size > 4096u + 3000u) << size;
        EXPECT_LE(size, 2u * 4096u);
        EXPECT_EQ(events.ids, std::vector<DWORD>{MSG_TRACE_NOT_WRITTEN}) << why;
        EXPECT_EQ(events.strings.at(0).at(1), logFile) << why;
        const uint64_t before = Accounted(logFile, why);
        release(log);
        log.Log(kTraceFailures, "after");
        ASSERT_TRUE(log.Flush(20000));
        EXPECT_EQ(before + Accounted(logFile, why), 200u) << why;
        EXPECT_NE(LinesOf(logFile).back().find(" after"), std::string::npos) << why;
        DeleteFileW(logFile.c_str());
    }
}

TEST_F(TraceLog, LinesStillQueuedWhenTheProcessEndsAreWrittenAsItEnds) {
    SwitchOn(2);
    const std::wstring child = Quoted(DosPathOf(VTX_TRACEWRITER_EXE)) + L" " + Quoted(logFile) +
                               L" 50 --exit " + Quoted(DosPathOf(VTX_SERVICE_DLL)) + L" " +
                               Quoted(device.Name());
    EXPECT_EQ(RunProgram(child, 60000).exitCode, 0u);
    const std::vector<std::string> lines = LinesOf(logFile);
    EXPECT_EQ(lines.size(), 51u);
    ExpectInOrder(lines, {"OpenService(", "GetPropertyNumber(1000)", "GetPropertyNumber(1049)"});
}

} // namespace
} // namespace vtx::test
