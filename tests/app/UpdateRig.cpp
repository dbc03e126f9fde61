#include "tests/app/UpdateRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <unistd.h>

namespace app_test {

namespace {

void appendByte(std::string& line, unsigned value, unsigned& sum)
{
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", value & 0xFFu);
    line += digits;
    sum += value & 0xFFu;
}

std::string record(unsigned type, unsigned address, const std::vector<uint8_t>& bytes)
{
    std::string line = ":";
    unsigned sum = 0;
    appendByte(line, static_cast<unsigned>(bytes.size()), sum);
    appendByte(line, address >> 8, sum);
    appendByte(line, address, sum);
    appendByte(line, type, sum);
    for (uint8_t byte : bytes)
        appendByte(line, byte, sum);
    appendByte(line, (0x100u - (sum & 0xFFu)) & 0xFFu, sum);
    return line + "\r\n";
}

} // namespace

void Firmware::fill(uint32_t begin, uint32_t end, uint32_t seed)
{
    std::mt19937 random(seed);
    for (uint32_t address = begin; address < end; ++address)
        set(address, static_cast<uint8_t>(random()));
}

std::string Firmware::toHex() const
{
    std::string text;
    uint32_t segment = 0;
    auto it = data.begin();
    while (it != data.end()) {
        const uint32_t start = it->first;
        if ((start & 0xF0000u) != segment) {
            segment = start & 0xF0000u;
            text += record(2, 0, {static_cast<uint8_t>(segment >> 12), 0x00});
        }
        // Consecutive bytes, at most 16, not crossing a 64 KB boundary.
        std::vector<uint8_t> bytes;
        uint32_t address = start;
        while (it != data.end() && it->first == address && bytes.size() < 16 &&
               (address & 0xF0000u) == segment) {
            bytes.push_back(it->second);
            ++address;
            ++it;
        }
        text += record(0, start & 0xFFFFu, bytes);
    }
    return text + record(1, 0, {});
}

void Firmware::writeHexFile() const
{
    std::ofstream out("KPXUpdate517.hex", std::ios::binary | std::ios::trunc);
    out << toHex();
}

TempFolder::TempFolder()
{
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        throw std::runtime_error("getcwd failed");
    previous_ = cwd;
    std::string pattern = (std::filesystem::temp_directory_path() / "kpx-app-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (chdir(path_.c_str()) != 0)
        throw std::runtime_error("chdir failed");
}

TempFolder::~TempFolder()
{
    if (chdir(previous_.c_str()) != 0)
        ADD_FAILURE() << "could not return to " << previous_;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

UpdateRig::UpdateRig(const sim::Scenario& scenario, const PortFactory& makePort)
    : device(std::make_unique<sim::Atmega128>(scenario))
{
    std::unique_ptr<serial::ComPort> windowPort;
    if (makePort) {
        windowPort = makePort(*device);
    } else {
        auto simPort = std::make_unique<sim::SimComPort>(*device);
        port = simPort.get();
        windowPort = std::move(simPort);
    }
    form = &app.CreateForm<TfrmUpdate>(std::move(windowPort));
    app.CreateForm<TAboutBox>();
    app.CreateForm<TPagesDlg>();
    op.observe(form->ProgressBar);
    op.observe(form->lblProgress);
}

UpdateRig::~UpdateRig()
{
    // The controls die with the application, before the operator.
    op.stopObserving();
}

void UpdateRig::selectPort(int number)
{
    form->lboxComPort.Select(number - 1);
    ASSERT_EQ(form->comNumber, number);
}

void UpdateRig::expectStart()
{
    op.expectBox(programModeText, programModeCaption, tk::MB_OKCANCEL, tk::IDOK);
}

void UpdateRig::expectComplete()
{
    op.expectBox(completeText, completeCaption, tk::MB_OK, tk::IDOK);
}

bool UpdateRig::flashMatches(const Firmware& firmware) const
{
    return std::equal(firmware.image.begin(), firmware.image.end(), device->flash().begin());
}

bool UpdateRig::configured() const
{
    return device->fuseHigh == 0x9F && device->fuseLow == 0xBF && device->fuseExt == 0xFF &&
           (device->lockBits | 0xC0) == 0xFC;
}

size_t UpdateRig::detectionWaits() const
{
    return static_cast<size_t>(std::count(clock.sleeps().begin(), clock.sleeps().end(), 3000u));
}

} // namespace app_test
