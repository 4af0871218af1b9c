#pragma once
#include <string>

namespace vtx {

// The UnifiedPOS statistics document this drawer reports: it describes the
// equipment and holds no statistic.
std::wstring StatisticsDocument();

} // namespace vtx
