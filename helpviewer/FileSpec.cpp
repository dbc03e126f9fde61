#include "helpviewer/FileSpec.h"

#include "helpviewer/chm/Html.h"

namespace kpxhelp {

HelpSpec parseSpec(std::string_view spec)
{
    HelpSpec out;
    // The window part follows the first '>'.
    if (auto gt = spec.find('>'); gt != std::string_view::npos) {
        out.window = std::string(spec.substr(gt + 1));
        spec = spec.substr(0, gt);
    }
    for (std::string_view prefix : {"mk:@MSITStore:", "ms-its:", "its:"}) {
        if (spec.size() >= prefix.size() && chm::equalsNoCase(spec.substr(0, prefix.size()), prefix)) {
            spec = spec.substr(prefix.size());
            break;
        }
    }
    if (auto sep = spec.find("::"); sep != std::string_view::npos) {
        out.topic = std::string(spec.substr(sep + 2));
        spec = spec.substr(0, sep);
    }
    out.file = std::string(spec);
    return out;
}

} // namespace kpxhelp
