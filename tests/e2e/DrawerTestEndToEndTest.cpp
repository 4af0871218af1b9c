// The whole drawer test against the virtual drawer: through regsvr32's
// registrations, the Control Object (ours, or one standing for another
// maker's) and the real service object.
#include "ByRef.h"
#include "Elapsed.h"
#include "EndToEndFixture.h"

#include <algorithm>
#include <regex>
#include <tuple>

namespace vtx::test {
namespace {

constexpr DWORD kEventLimitMs = 20000;

bool SawOpenThenClosed(const RecordingSink& sink) {
    const auto& events = sink.Events();
    auto open =
        std::find_if(events.begin(), events.end(), [](const ReceivedEvent& e) { return e.data == 1; });
    return open != events.end() &&
           std::any_of(open, events.end(), [](const ReceivedEvent& e) { return e.data == 0; });
}

TEST_F(EndToEnd, FullDrawerTestWithStatusEventsOnTheApplicationsThread) {
    ComPtr<RecordingSink> sink = ConnectSink();
    ASSERT_EQ(Open(device.Name()), 0);
    ASSERT_EQ(Call(co_dispid::Claim, {Long(1000)}), 0);
    ASSERT_EQ(Enable(), 0);
    drawer.Received(); // drop the status requests so far

    EXPECT_EQ(Call(co_dispid::OpenDrawer), 0);
    ASSERT_TRUE(PumpUntil([&] { return SawOpenThenClosed(*sink.get()); }, kEventLimitMs))
        << "events seen: " << sink->Events().size();
    EXPECT_NE(drawer.Received().find("1C 1E 11 13"), std::string::npos) << "the open command went out";
    for (const ReceivedEvent& event : sink->Events()) {
        EXPECT_EQ(event.threadId, GetCurrentThreadId());
    }

    EXPECT_EQ(Call(co_dispid::CheckHealth, {Long(1)}), 106);
    InvokeResult text = InvokeRaw(control.get(), co_dispid::CheckHealthText, {}, DISPATCH_PROPERTYGET);
    ASSERT_EQ(V_VT(text.value.get()), VT_BSTR);
    EXPECT_STREQ(V_BSTR(text.value.get()), L"Internal Heath Check: check health level not supported.");

    BSTR document = nullptr;
    VARIANT documentRef = BstrRef(&document);
    EXPECT_EQ(Call(co_dispid::RetrieveStatistics, {documentRef}), 0);
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(std::wstring(document).rfind(L"<?xml version='1.0' ?><UPOSStat ", 0), 0u);
    SysFreeString(document);

    EXPECT_EQ(Call(co_dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(co_dispid::Close), 0);
    EXPECT_FALSE(drawer.IsOpen());
}

TEST_F(EndToEnd, DrawerTestProgramPassesAndPrintsTheEventsInOrder) {
    ProgramRun run = RunProgram(Quoted(DosPathOf(VTX_DRAWERTEST_EXE)) + L" " + device.Name(), 90000);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    size_t opened = run.output.find("StatusUpdateEvent(1)");
    size_t closed = run.output.find("StatusUpdateEvent(0)", opened == std::string::npos ? 0 : opened);
    EXPECT_NE(opened, std::string::npos) << run.output;
    EXPECT_NE(closed, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("NOT on the application's thread"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("drawer test passed"), std::string::npos) << run.output;
}

// Another maker's Control Object (the test build of ours: its events under
// another IID and other DISPIDs), hiding in turn what VTX_TEST_CO_HIDES names.
TEST_F(EndToEnd, DrawerTestProgramFindsTheEventsOfAnyControlObject) {
    ASSERT_NO_FATAL_FAILURE(Regsvr32(VTX_CONTROL_VARIANT_DLL));
    const struct {
        const char* hides;
        const char* says;
        bool events;
    } cases[] = {{"", "through the coclass's default source, StatusUpdateEvent as DISPID 15", true},
                 {"typeinfo", "through the object's connection points, without type information", true},
                 {"typeinfo,events", "events are not available", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hides);
        SetEnvironmentVariableA("VTX_TEST_CO_HIDES", c.hides);
        ProgramRun run = RunProgram(Quoted(DosPathOf(VTX_DRAWERTEST_EXE)) + L" " + device.Name(), 90000);
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("StatusUpdateEvent(0)") != std::string::npos, c.events) << run.output;
        EXPECT_NE(run.output.find("drawer test passed"), std::string::npos) << run.output;
    }
    SetEnvironmentVariableA("VTX_TEST_CO_HIDES", nullptr);
    Regsvr32(VTX_CONTROL_DLL);
}

TEST_F(EndToEnd, DrawerTestProgramFailsForAMissingDevice) {
    ProgramRun run =
        RunProgram(Quoted(DosPathOf(VTX_DRAWERTEST_EXE)) + L" " + UniqueDeviceName(L"VX-E2E-NONE"), 90000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("ResultCode 109"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("drawer test FAILED"), std::string::npos) << run.output;
}

// The health probe, each finding against the virtual drawer, which never sees the open command.
TEST_F(EndToEnd, HealthProbeGivesEachFindingItsExitCodeAndOneLastLine) {
    const std::string com = "COM" + std::to_string(drawer.ComNumber());
    enum Setup { Plain, Json, NoPort, NoDevice, LongName, NoControlObject, OtherControlObject };
    // Setup (NoPort last: it deletes the port), drawer command, exit code, a pattern of the last line.
    const std::tuple<Setup, const char*, DWORD, std::string> cases[] = {
        {Plain, "CLOSE", 0, R"( OK: drawer closed, answered in \d+ ms \(port )" + com + ", "},
        {Plain, "OPEN", 0, " OK: drawer open, answered in "},
        {Json, "CLOSE", 0,
         R"(^\{"device":"VX-E2E[^"]*","status":"ok","exitCode":0,"drawer":"closed","port":")" + com +
             R"(","answerMs":\d+,"controlObjectVersion":"1\.\d+\.\d+","serviceObjectVersion":"1\.\d+\.\d+",)" +
             R"("bitness":)" + std::to_string(sizeof(void*) * 8) +
             R"(,"detail":"drawer closed, answered in \d+ ms"\}$)"},
        {Plain, "MODE SILENT", 1, R"( FAULT: no answer from the drawer \(PowerState 2004 after )"},
        {Plain, "UNAVAILABLE", 1, " FAULT: " + com + R"( is missing \(Windows error 2, ResultCode 111\))"},
        {Plain, "BUSY", 3,
         " PORT IN USE: " + com +
             R"( is in use by another program, so the drawer was not asked \(Windows error 5, )"},
        {NoDevice, "CLOSE", 2, R"( NOT CONFIGURED: no such device in the registry \(ResultCode 109\))"},
        {LongName, "CLOSE", 2, "^X{128} NOT CONFIGURED: no such device in the registry"},
        {NoControlObject, "CLOSE", 2,
         R"( NOT CONFIGURED: no Control Object "OPOS.CashDrawer".*Control Object none, )"},
        {OtherControlObject, "CLOSE", 0, " OK: drawer closed, answered in "},
        {NoPort, "CLOSE", 2,
         R"( NOT CONFIGURED: no port is set for the device \(ResultCode 111\) \(port none, )"},
    };
    for (const auto& [setup, drawerCommand, exit, says] : cases) {
        SCOPED_TRACE(says);
        drawer.Reset();
        drawer.Expect(drawerCommand);
        if (setup == NoPort) {
            device.DeleteValue(L"Port");
        } else if (setup == NoControlObject) {
            ASSERT_EQ(RunRegsvr32(DosPathOf(VTX_CONTROL_DLL), true).exitCode, 0u);
        } else if (setup == OtherControlObject) {
            ASSERT_NO_FATAL_FAILURE(Regsvr32(VTX_CONTROL_VARIANT_DLL));
        }
        const std::wstring name = setup == NoDevice   ? UniqueDeviceName(L"VX-E2E-NONE")
                                  : setup == LongName ? std::wstring(3000, L'X')
                                                      : device.Name();
        const auto start = Clock::now();
        ProgramRun run = RunProgram(Quoted(DosPathOf(VTX_DRAWERTEST_EXE)) + L" --check " + name +
                                        (setup == Json ? L" --json" : L""),
                                    20000);
        EXPECT_LT(MsSince(start), 5000) << run.output;
        EXPECT_EQ(run.exitCode, exit) << run.output;
        const std::string output = run.output.substr(0, run.output.find_last_not_of("\r\n") + 1);
        const std::string last = output.substr(output.find_last_of('\n') + 1);
        EXPECT_TRUE(std::regex_search(last, std::regex(says))) << run.output;
        EXPECT_TRUE(setup != Json || output == last) << "one object, nothing else";
        EXPECT_LT(last.size(), 2000u);
        EXPECT_NE(drawer.Expect("STATS").find(" opens=0 "), std::string::npos);
        if (setup == NoControlObject || setup == OtherControlObject) {
            ASSERT_NO_FATAL_FAILURE(Regsvr32(VTX_CONTROL_DLL));
        }
    }
}

} // namespace
} // namespace vtx::test
