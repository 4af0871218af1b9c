#pragma once
// The Control Object's class factory: static, with a reference of its own.
#include "com/StaticClassFactory.h"

namespace vtx::co {

CStaticClassFactory& ControlFactory();

} // namespace vtx::co
