#pragma once

#include "drawer_protocol.h"

namespace vdrawer::test {

inline const Bytes kRequest(wire::kStatusRequest.begin(), wire::kStatusRequest.end());
inline const Bytes kOpenCommand(wire::kOpenCommand.begin(), wire::kOpenCommand.end());
inline const Bytes kOpenReply{wire::kStatusOpen};
inline const Bytes kClosedReply{wire::kStatusClosed};

} // namespace vdrawer::test
