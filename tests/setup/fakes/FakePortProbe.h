#pragma once
#include "logic/PortProbe.h"

#include <set>
#include <string>
#include <vector>

namespace vtx::setup::test {

// Ports that "exist"; every probe is recorded in order.
class FakePortProbe final : public PortProbe {
public:
    bool CanOpen(const std::wstring& deviceName) override {
        probed.push_back(deviceName);
        return openable.count(deviceName) != 0;
    }
    std::set<std::wstring> openable;
    std::vector<std::wstring> probed;
};

} // namespace vtx::setup::test
