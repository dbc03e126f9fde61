// Arbitrary bytes as a firmware file: the reader must reject or accept them
// without touching memory outside its buffers, and must leave an image that
// programming can trust.
#include "image/Hexfile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// One in-memory file for the whole run; HexFile opens it by name like any other.
struct InputFile {
    int fd = -1;
    std::string path;
};

const InputFile& inputFile()
{
    static const InputFile file = [] {
        const int fd = memfd_create("fuzz_hexfile", 0);
        if (fd < 0)
            std::abort();
        return InputFile{fd, "/proc/self/fd/" + std::to_string(fd)};
    }();
    return file;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void readAndCheck(uint32_t size)
{
    HexFile hex(inputFile().path, size);
    const bool ok = hex.readHexFile();
    check(hex.highAddress <= hex.imageSize);
    check(hex.byteAt(hex.imageSize) == 0xFF);
    // A refused file always says why; the operator is shown it.
    check(ok == hex.error.empty());
    // After a successful read every stored byte lies below highAddress, so
    // programming up to it misses nothing.
    if (ok)
        check(std::all_of(&hex.image[hex.highAddress], &hex.image[hex.imageSize],
                          [](uint8_t b) { return b == 0xFF; }));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int fd = inputFile().fd;
    if (ftruncate(fd, 0) != 0)
        std::abort();
    if (size > 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    readAndCheck(0x20000);
    readAndCheck(0x100);

    // The record decoder straight on the fuzzer's exactly sized buffer, so a
    // read past the line's end shows up as an overflow.
    HexFile direct("", 0x100);
    direct.parseRecord(reinterpret_cast<const char*>(data), std::min<size_t>(size, HexFile::maxLineLength));
    check(direct.highAddress <= direct.imageSize);
    return 0;
}
