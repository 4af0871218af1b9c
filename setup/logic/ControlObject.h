#pragma once
// The OPOS CashDrawer Control Object as the drawer test uses it. Every call
// throws AutomationError when the object itself fails (it cannot be created,
// a member is missing, Invoke fails); result codes are ordinary answers.
#include "logic/AutomationError.h"

#include <functional>
#include <memory>
#include <string>

namespace vtx::setup {

class ControlObject {
public:
    virtual ~ControlObject() = default;
    virtual void Open(const std::wstring& deviceName) = 0;
    virtual void Claim(short timeout) = 0;
    virtual void SetDeviceEnabled(bool enabled) = 0;
    virtual void OpenDrawer() = 0;
    virtual void CheckHealth(long level) = 0;
    virtual std::wstring CheckHealthText() = 0;
    virtual void ReleaseDevice() = 0;
    virtual long Close() = 0;
    virtual long ResultCode() = 0;
};

// Creates the Control Object; throws AutomationError when it cannot.
using ControlObjectFactory = std::function<std::unique_ptr<ControlObject>()>;

} // namespace vtx::setup
