#include "toolkit/Elide.h"

namespace tk {

namespace {

constexpr const char* mark = "...";

// The largest count in [0, most] whose shown text fits, or -1 when none
// does; a longer keep never makes a text narrower.
int longestFitting(int most, const std::function<bool(int)>& fits)
{
    int best = -1;
    int low = 0;
    int high = most;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        if (fits(middle)) {
            best = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return best;
}

// place with all but keep of its characters cut out: first from the middle
// of its folders, the last part (after the last separator) kept whole; once
// the folders are gone, from the start of that last part.
std::string shortened(const std::string& place, size_t keep)
{
    const size_t separator = place.find_last_of("\\/");
    const size_t lastPart = separator == std::string::npos ? 0 : separator;
    const std::string folders = place.substr(0, lastPart);
    const std::string last = place.substr(lastPart);
    if (keep < last.size())
        return mark + last.substr(last.size() - keep);
    const size_t fromFolders = keep - last.size();
    const size_t tail = fromFolders / 2;
    return folders.substr(0, fromFolders - tail) + mark + folders.substr(folders.size() - tail) + last;
}

} // namespace

std::string ElideText(const std::string& text, const std::string& place, int room, const TextWidth& width)
{
    if (width(text) <= room)
        return text;
    const size_t at = place.empty() ? std::string::npos : text.find(place);
    if (at != std::string::npos) {
        const std::string before = text.substr(0, at);
        const std::string after = text.substr(at + place.size());
        const auto shown = [&](int keep) { return before + shortened(place, static_cast<size_t>(keep)) + after; };
        const int keep = longestFitting(static_cast<int>(place.size()) - 1,
                                        [&](int count) { return width(shown(count)) <= room; });
        if (keep >= 0)
            return shown(keep);
    }
    const auto start = [&](int keep) { return text.substr(0, static_cast<size_t>(keep)) + mark; };
    const int keep = longestFitting(static_cast<int>(text.size()) - 1,
                                    [&](int count) { return width(start(count)) <= room; });
    return start(keep < 0 ? 0 : keep);
}

} // namespace tk
