#pragma once
// The UnifiedPOS statistics document this drawer reports: it describes the
// equipment and holds no statistic.
#include <string>

namespace vtx {

std::wstring StatisticsDocument();

} // namespace vtx
