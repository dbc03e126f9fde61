// make_sample_firmware OUTPUT: writes the sample firmware as Intel HEX.
#include "image/sample/SampleFirmware.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_firmware OUTPUT\n");
        return 2;
    }
    const std::string text = sample_firmware::toIntelHex(sample_firmware::buildImage());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_sample_firmware: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
