#pragma once
#include "com/StaticClassFactory.h"

namespace vtx::co {

// The Control Object's class factory: static, with a reference of its own.
CStaticClassFactory& ControlFactory();

} // namespace vtx::co
