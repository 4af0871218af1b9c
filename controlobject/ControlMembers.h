#pragma once
// The Control Object's dispatch table: every member its IDispatch answers,
// which the dual interface's vtable reaches through the same Invoke and which
// module/OPOSCashDrawer.idl must describe alike (the tests compare the two).
// Constant data: any thread may read it.
#include <windows.h>
#include <oaidl.h>

#include "com/ArgConversion.h"

#include <span>

namespace vtx::co {

enum class MemberKind { Method, Property };
enum class ValueType { Long, Bool, Text };

struct ControlMember {
    DISPID id;
    const wchar_t* name;
    MemberKind kind;
    UINT argCount;  // methods: arguments; properties: 0
    ValueType type; // properties: the value's type; methods answer a long
    long pidx;      // properties the service holds: its property index; 0: the Control Object's own
    bool writable;  // properties only
    std::span<const ArgType> params = {}; // methods: each argument's type, in call order
};

std::span<const ControlMember> ControlMembers();

} // namespace vtx::co
