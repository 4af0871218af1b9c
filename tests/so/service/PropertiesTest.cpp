// Property reads and writes by index, and the device's "Port" and "PollInterval" values, also from policy.
#include "DeviceRegistry.h"
#include "FakeControlObject.h"
#include "ServiceObject.h"
#include "opos/OposConstants.h"
#include "trace/TraceLog.h"
#include "trace/TraceSettings.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace vtx::test {
namespace {

class Properties : public ::testing::Test {
protected:
    void SetUp() override {
        device.SetPort(L"COM200");
        ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    }
    long Get(long pidx) { return CallLong(so.get(), so_dispid::GetPropertyNumber, {Long(pidx)}); }
    void Set(long pidx, long value) {
        CallVoid(so.get(), so_dispid::SetPropertyNumber, {Long(pidx), Long(value)});
    }
    std::wstring Text(long pidx) { return CallText(so.get(), so_dispid::GetPropertyString, {Long(pidx)}); }
    void Fail() { EXPECT_EQ(CallLong(so.get(), so_dispid::Claim, {Long(-7)}), 106); }

    DeviceKey device{UniqueDeviceName(L"VX-PROP")};
    FakeControlObject co;
    ComPtr<IDispatch> so = NewServiceObject();
};

TEST_F(Properties, NumbersAnswerTheirDefaultsAfterOpenService) {
    const std::vector<std::pair<long, long>> expected = {
        {1, 0},     {3, 0},   {4, 0},   {6, 0},   {7, 0},   {8, 1012001}, {9, 2},    {11, 0},   {13, 0},
        {14, 2000}, {501, 1}, {502, 1}, {503, 0}, {504, 0}, {505, 0},     {1501, 1}, {1502, 0}, {1001, 0}};
    for (const auto& [pidx, value] : expected) {
        EXPECT_EQ(Get(pidx), value) << "PIDX " << pidx;
    }
}

TEST_F(Properties, ReadingResultCodeReturnsThePreviousCodeThenZero) {
    Fail();
    EXPECT_EQ(Get(6), 106);
    EXPECT_EQ(Get(6), 0);
}

TEST_F(Properties, DrawerOpenedReadLeavesResultCodeAlone) {
    Fail();
    EXPECT_EQ(Get(1001), 0);
    EXPECT_EQ(Get(6), 106);
}

TEST_F(Properties, UnknownNumericIndexesAreIllegal) {
    for (long pidx : {2L, 5L, 10L, 12L, 0L, -1L, 1000001L}) {
        EXPECT_EQ(Get(pidx), 106) << "PIDX " << pidx;
        EXPECT_EQ(Get(6), 106);
    }
}

TEST_F(Properties, ClosedObjectAnswers101ForEveryNumber) {
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    EXPECT_EQ(Get(9), 101);
    EXPECT_EQ(Get(1001), 101);
    ComPtr<IDispatch> fresh = NewServiceObject();
    EXPECT_EQ(CallLong(fresh.get(), so_dispid::GetPropertyNumber, {Long(9)}), 101);
}

TEST_F(Properties, WritableNumbersKeepTheirValue) {
    Set(11, 5);
    EXPECT_EQ(Get(6), 0);
    EXPECT_EQ(Get(11), 5);
    Set(13, 1);
    EXPECT_EQ(Get(6), 0);
    EXPECT_EQ(Get(13), 1);
    Set(4, 1);
    EXPECT_EQ(Get(4), 1);
    Set(4, 0x10001); // low 16 bits decide the freeze; the number is kept as given
    EXPECT_EQ(Get(4), 0x10001);
    Set(4, 0);
    EXPECT_EQ(Get(4), 0);
}

TEST_F(Properties, WritingResultCodesClearsThem) {
    Fail();
    Set(6, 55);
    EXPECT_EQ(Get(6), 0);
    Fail();
    Set(7, 55);
    EXPECT_EQ(Get(6), 0);
    EXPECT_EQ(Get(7), 0);
}

TEST_F(Properties, ReadOnlyNumbersAreRefusedWith111AndKept) {
    Set(1, 1); // Claimed
    EXPECT_EQ(Get(6), 111);
    EXPECT_EQ(Get(1), 0);
    Set(9, 4);
    EXPECT_EQ(Get(6), 111);
    EXPECT_EQ(Get(9), 2);
}

TEST_F(Properties, StringsAnswerOnAClosedObjectToo) {
    ComPtr<IDispatch> fresh = NewServiceObject();
    EXPECT_EQ(CallText(fresh.get(), so_dispid::GetPropertyString, {Long(1000003)}),
              L"Veltrix.OPOS.CashDrawer");
    EXPECT_EQ(CallText(fresh.get(), so_dispid::GetPropertyString, {Long(1000002)}),
              L"Veltrix Works OPOS CashDrawer");
    EXPECT_EQ(CallText(fresh.get(), so_dispid::GetPropertyString, {Long(1000004)}), L"1012001");
    EXPECT_EQ(CallText(fresh.get(), so_dispid::GetPropertyString, {Long(1000001)}), L"");
}

TEST_F(Properties, UnknownStringIndexAnswersErrorText) {
    EXPECT_EQ(Text(9), L"[Error]");
    EXPECT_EQ(Get(6), 106);
    EXPECT_EQ(Text(1000003), L"Veltrix.OPOS.CashDrawer");
    EXPECT_EQ(Get(6), 0);
}

TEST_F(Properties, NoStringIsWritable) {
    Arg text(vtx::test::Text(L"x"));
    CallVoid(so.get(), so_dispid::SetPropertyString, {Long(1000001), text.v()});
    EXPECT_EQ(Get(6), 106);
    EXPECT_EQ(Text(1000001), L"");
}

TEST_F(Properties, OpenServiceResetsWhatAnEarlierSessionChanged) {
    Set(11, 3);
    Set(13, 1);
    Fail();
    ASSERT_EQ(CallLong(so.get(), so_dispid::Close), 0);
    ASSERT_EQ(OpenService(so.get(), device.Name(), &co), 0);
    EXPECT_EQ(Get(11), 0);
    EXPECT_EQ(Get(13), 0);
    EXPECT_EQ(Get(6), 0);
}

// The port name as the service object read it: the object's own view.
class PortValue : public ::testing::Test {
protected:
    std::wstring Read() {
        CCashDrawerProperties props;
        EXPECT_TRUE(props.ReadRegistry(device.Path()));
        return props.m_strPortName;
    }
    DeviceKey device{UniqueDeviceName(L"VX-PORT")};
};

TEST_F(PortValue, TextWithoutTerminatingNulReadsBackWhole) {
    const wchar_t com3[] = {L'C', L'O', L'M', L'3'};
    device.SetRaw(L"Port", REG_SZ, com3, sizeof(com3));
    EXPECT_EQ(Read(), L"COM3");
}

TEST_F(PortValue, TextStopsAtTheFirstNul) {
    const wchar_t value[] = L"COM4\0junk";
    device.SetRaw(L"Port", REG_SZ, value, sizeof(value));
    EXPECT_EQ(Read(), L"COM4");
}

TEST_F(PortValue, MissingWrongTypeOrOversizedValueLeavesNoName) {
    CCashDrawerProperties props;
    props.m_strPortName = L"COM9"; // from an earlier open
    EXPECT_TRUE(props.ReadRegistry(device.Path()));
    EXPECT_EQ(props.m_strPortName, L"");

    DWORD number = 3;
    device.SetRaw(L"Port", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(Read(), L"");

    std::wstring huge(600, L'7');
    device.SetRaw(L"Port", REG_SZ, huge.c_str(), static_cast<DWORD>(huge.size() * sizeof(wchar_t)));
    EXPECT_EQ(Read(), L"");

    const char odd[] = {'C', 0, 'O', 0, 'M', 0, '5', 0, 'X'};
    device.SetRaw(L"Port", REG_SZ, odd, sizeof(odd)); // a stray last byte is not half a character
    EXPECT_EQ(Read(), L"COM5");
}

TEST_F(PortValue, LongestNameThatFitsIsReadWhole) {
    std::wstring longest(512, L'9');
    device.SetRaw(L"Port", REG_SZ, longest.c_str(), static_cast<DWORD>(longest.size() * sizeof(wchar_t)));
    EXPECT_EQ(Read(), longest);
}

// "PollInterval" in ms: the default when missing or no number, else kept within 100..10000, and traced
// when it was not.
TEST_F(PortValue, PollIntervalIsClampedTracedOrLeftAtTheDefault) {
    const std::wstring log = L"poll-interval-test.log";
    DeleteFileW(log.c_str());
    const std::vector<std::tuple<DWORD, DWORD, std::wstring, DWORD>> cases = {
        {REG_NONE, 0, L"", 1500},     {REG_DWORD, 250, L"", 250},     {REG_DWORD, 99, L"", 100},
        {REG_DWORD, 0, L"", 100},     {REG_DWORD, 10001, L"", 10000}, {REG_DWORD, ~0u, L"", 10000},
        {REG_SZ, 0, L" 250 ms", 250}, {REG_SZ, 0, L"fast", 1500},     {REG_BINARY, 250, L"", 1500}};
    {
        CTraceLog trace;
        trace.Configure({kTraceFailures, log, 1 << 20}, L"VX-PORT");
        for (const auto& [type, number, text, expected] : cases) {
            device.DeleteValue(L"PollInterval");
            if (type != REG_NONE) {
                device.SetRaw(L"PollInterval", type,
                              type == REG_SZ ? static_cast<const void*>(text.c_str()) : &number,
                              type == REG_SZ ? static_cast<DWORD>(text.size() + 1) * 2 : 4);
            }
            CCashDrawerProperties props;
            props.m_nPollIntervalMs = 7;
            EXPECT_TRUE(props.ReadRegistry(device.Path(), &trace));
            EXPECT_EQ(props.m_nPollIntervalMs, expected) << type << " " << number << " " << text.c_str();
        }
    }
    std::ostringstream read;
    read << std::ifstream(log.c_str(), std::ios::binary).rdbuf();
    const std::string written = read.str();
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 4) << written;
    EXPECT_NE(written.find("PollInterval 4294967295 ms is outside 100..10000: 10000 ms used"),
              std::string::npos);
    DeleteFileW(log.c_str());
}

// A value the machine's policy key holds (64-bit view, for both builds) wins over the device's, with the
// device value's limits; an unusable one gives the default, not the device's.
TEST_F(PortValue, PolicyValuesWinOverTheDevicesOwn) {
    const DWORD zero = 0, one = 1, poll = 250, fast = 50, level = 2;
    device.SetRaw(L"AutoReconnect", REG_DWORD, &one, 4);
    device.SetRaw(L"PollInterval", REG_DWORD, &poll, 4);
    const std::vector<std::tuple<const wchar_t*, DWORD, const void*, bool, DWORD, int>> rows = {
        {L"AutoReconnect", REG_DWORD, &zero, false, 250, 0},
        {L"PollInterval", REG_DWORD, &fast, true, 100, 0},
        {L"PollInterval", REG_SZ, L"fast", true, 1500, 0},
        {L"TraceLevel", REG_DWORD, &level, true, 250, 2}};
    for (const auto& [name, type, data, reconnect, pollMs, traceLevel] : rows) {
        SCOPED_TRACE(std::string(name, name + lstrlenW(name)));
        const PolicyKey policy(name, type, data);
        CCashDrawerProperties props;
        EXPECT_TRUE(props.ReadRegistry(device.Path()));
        EXPECT_EQ(std::pair(props.m_bAutoReconnect, props.m_nPollIntervalMs), std::pair(reconnect, pollMs));
        const TraceSettings trace = ReadTraceSettings(device.Path(), device.Name());
        EXPECT_EQ(trace.level, traceLevel);
        if (traceLevel != 0) { // no trace value in the device key: its session is logged all the same
            FakeControlObject app;
            ComPtr<IDispatch> so = NewServiceObject();
            EXPECT_EQ(OpenService(so.get(), device.Name(), &app), 0);
            so.reset(); // the final release of an open object closes it, and its log
            std::ostringstream log;
            log << std::ifstream(trace.file.c_str(), std::ios::binary).rdbuf();
            EXPECT_NE(log.str().find("OpenService(\"CashDrawer\""), std::string::npos) << log.str();
            DeleteFileW(trace.file.c_str());
        }
    }
}

// The one text reader under every caller: the room a limit gives, with or without the stored NUL, the
// types each caller takes, an expansion past the limit, and no limit at all.
TEST_F(PortValue, TextReaderKeepsEachCallersLimitAndTypes) {
    using enum RegistryTextTypes;
    ASSERT_TRUE(SetEnvironmentVariableW(L"VTX_READER", L"COM1234567890123"));
    const std::wstring huge(5000, L'x');
    const std::vector<
        std::tuple<DWORD, std::wstring, bool, size_t, RegistryTextTypes, std::optional<std::wstring>>>
        cases = {{REG_SZ, L"COM12", true, 5, Plain, L"COM12"},
                 {REG_SZ, L"COM123", false, 5, Plain, L"COM123"},
                 {REG_SZ, L"COM123", true, 5, Expanded, std::nullopt},
                 {REG_SZ, huge, false, kRegistryTextUnlimited, Plain, huge},
                 {REG_EXPAND_SZ, L"%VTX_READER%", true, 16, Plain, std::nullopt},
                 {REG_EXPAND_SZ, L"%VTX_READER%", true, 12, AsStored, L"%VTX_READER%"},
                 {REG_EXPAND_SZ, L"%VTX_READER%", true, 16, Expanded, L"COM1234567890123"},
                 {REG_EXPAND_SZ, L"%VTX_READER%", true, 15, Expanded, std::nullopt},
                 {REG_MULTI_SZ, L"COM1", true, 5, AsStored, std::nullopt}};
    for (const auto& [type, stored, withNul, maxChars, types, expected] : cases) {
        device.SetRaw(L"Text", type, stored.c_str(),
                      static_cast<DWORD>((stored.size() + withNul) * sizeof(wchar_t)));
        UniqueRegKey key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, device.Path().c_str(), 0, KEY_QUERY_VALUE, key.put()), 0);
        EXPECT_EQ(ReadRegistryText(key.get(), L"Text", maxChars, types), expected)
            << type << " " << stored.size() << " " << maxChars;
    }
}

TEST_F(PortValue, MissingKeyStores104AndKeepsTheName) {
    CCashDrawerProperties props;
    props.m_strPortName = L"COM9";
    EXPECT_FALSE(
        props.ReadRegistry(std::wstring(opos::kCashDrawerClassKey) + L"\\" + UniqueDeviceName(L"VX-GONE")));
    EXPECT_EQ(props.ResultCode, 104);
    EXPECT_EQ(props.m_strPortName, L"COM9");
}

} // namespace
} // namespace vtx::test
