// File specifications as callers of the engine write them:
//   "file.chm", "file.chm::/topic.htm", "file.chm>window",
//   "file.chm::/topic.htm>window", optionally behind "mk:@MSITStore:" or
//   "ms-its:".
#pragma once

#include <string>
#include <string_view>

namespace kpxhelp {

struct HelpSpec {
    std::string file;
    std::string topic;  // may carry "#fragment"; empty when none
    std::string window; // empty when none
};

HelpSpec parseSpec(std::string_view spec);

} // namespace kpxhelp
