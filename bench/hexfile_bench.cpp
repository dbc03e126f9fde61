// Reading a full 128 KB firmware file, the one file access of every update.
#include "image/Hexfile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr uint32_t flashSize = 0x20000;

// 16-byte records over the whole flash, a segment record every 64 KB, the way
// a linker writes a full image. Written once per process, removed at exit.
class FullImageFile {
public:
    FullImageFile()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "hexfile-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        dir = pattern;
        path = (dir / "full.hex").string();
        std::ofstream out(path, std::ios::binary);
        char line[64];
        for (uint32_t address = 0; address < flashSize; address += 16) {
            if (address % 0x10000 == 0) {
                const unsigned segment = address >> 4;
                const unsigned sum = 2 + 2 + (segment >> 8) + (segment & 0xFF);
                std::snprintf(line, sizeof line, ":02000002%04X%02X\r\n", segment, (0x100 - (sum & 0xFF)) & 0xFF);
                out << line;
            }
            const unsigned offset = address & 0xFFFF;
            unsigned sum = 16 + (offset >> 8) + (offset & 0xFF);
            int n = std::snprintf(line, sizeof line, ":10%04X00", offset);
            for (uint32_t i = 0; i < 16; ++i) {
                const unsigned value = (address + i) * 7 & 0xFF;
                sum += value;
                n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X", value);
            }
            std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
            out << line;
        }
        out << ":00000001FF\r\n";
        if (!out)
            std::abort();
    }
    ~FullImageFile() { std::filesystem::remove_all(dir); }
    FullImageFile(const FullImageFile&) = delete;
    FullImageFile& operator=(const FullImageFile&) = delete;

    std::filesystem::path dir;
    std::string path;
};

void BM_HexFileReadFullImage(benchmark::State& state)
{
    static const FullImageFile file;
    const std::string& path = file.path;
    const auto fileBytes = static_cast<int64_t>(std::filesystem::file_size(path));
    for (auto _ : state) {
        HexFile hex(path, flashSize);
        if (!hex.readHexFile() || hex.highAddress != flashSize)
            state.SkipWithError("the image did not read back whole");
        benchmark::DoNotOptimize(hex.image.get());
    }
    state.SetBytesProcessed(state.iterations() * fileBytes);
}
BENCHMARK(BM_HexFileReadFullImage)->Unit(benchmark::kMillisecond);

} // namespace
