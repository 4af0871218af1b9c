// How the Control Object finds a device, end to end.
#include "EndToEndFixture.h"

#include "service/CashDrawerProperties.h"

namespace vtx::test {
namespace {

namespace dispid = co::dispid;

// A logical device name: a value of the class key naming the device key.
class LogicalDeviceName {
public:
    LogicalDeviceName(std::wstring name, const std::wstring& device) : m_name(std::move(name)) {
        EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kCashDrawerClassKey, m_name.c_str(), REG_SZ,
                                  device.c_str(), static_cast<DWORD>((device.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    ~LogicalDeviceName() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kCashDrawerClassKey, m_name.c_str()); }
    LogicalDeviceName(const LogicalDeviceName&) = delete;
    LogicalDeviceName& operator=(const LogicalDeviceName&) = delete;
    const std::wstring& Name() const { return m_name; }

private:
    std::wstring m_name;
};

TEST_F(EndToEnd, OpensByALogicalDeviceName) {
    LogicalDeviceName ldn(UniqueDeviceName(L"LDN-E2E"), device.Name());
    EXPECT_EQ(Open(ldn.Name()), 0);
    EXPECT_EQ(Call(dispid::Claim, {Long(1000)}), 0);
    EXPECT_EQ(Call(dispid::ReleaseDevice), 0);
    EXPECT_EQ(Call(dispid::Close), 0);
}

TEST_F(EndToEnd, OpenOfAMissingDeviceFailsAndLeavesItClosed) {
    EXPECT_EQ(Open(UniqueDeviceName(L"VX-E2E-NONE")), 109);
    EXPECT_EQ(ResultCode(), 109);
    EXPECT_EQ(Call(dispid::Claim, {Long(0)}), 101);
    EXPECT_EQ(Call(dispid::Close), 101);
}

} // namespace
} // namespace vtx::test
