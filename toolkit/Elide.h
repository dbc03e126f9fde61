// What a one-line label shows of a text too wide for it. One rule for every
// backend; each measures the text with its own font.
#pragma once

#include <functional>
#include <string>

namespace tk {

// The width of a text in the label's font, in pixels.
using TextWidth = std::function<int(const std::string&)>;

// Text as it fits into room pixels. A text that fits is shown whole. When
// it does not, and it holds place (a file's path, or a list of folders),
// place gives way in its middle: the end of place (the file's name) stays
// whole as long as the beginning of the folders has anything left to give,
// so what is said before and after place stays readable. Otherwise the text
// loses its end. Each cut is marked "...".
std::string ElideText(const std::string& text, const std::string& place, int room, const TextWidth& width);

} // namespace tk
