// Arbitrary bytes as a help side file, looked up for an arbitrary context id.
// A non-integer key ahead of the match is the expected conversion error;
// anything else escaping, or a read outside a line, is a finding.
#include "help/Hhpack.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool isBlankOrControl(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first four bytes choose the id, the rest is the file.
    int32_t id = 0;
    const size_t idBytes = size < sizeof id ? size : sizeof id;
    std::memcpy(&id, data, idBytes);
    const std::string_view text(reinterpret_cast<const char*>(data) + idBytes, size - idBytes);

    const TStrings lines = TkyHHTopics::SplitLines(text);
    for (const std::string& line : lines)
        if (line.find_first_of("\r\n") != std::string::npos)
            std::abort();

    try {
        const std::string found = TkyAppHelpSocket::FindStringByID(lines, id);
        if (!found.empty() && (isBlankOrControl(found.front()) || isBlankOrControl(found.back())))
            std::abort();
        if (found.size() > text.size())
            std::abort();
        // Deterministic: the same lines give the same answer.
        if (TkyAppHelpSocket::FindStringByID(lines, id) != found)
            std::abort();
    } catch (const EConvertError&) {
    }
    return 0;
}
