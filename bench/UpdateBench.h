// What the update benchmarks share: an operator who agrees to everything, a
// current folder holding a firmware file that fills the whole flash, and one
// complete update through a given port.
#pragma once

#include "app/UI.h"
#include "toolkit/Application.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace bench_support {

inline constexpr uint32_t flashBytes = 0x20000;

// Says OK and Yes to everything.
class AgreeingOperator final : public tk::Backend {
public:
    int MessageBox(const std::string&, const std::string&, int) override { return tk::IDOK; }
    int MessageDlg(const std::string&, tk::TMsgDlgType, tk::TMsgDlgButtons, int,
                   std::optional<tk::ScreenPoint>) override
    {
        return tk::mrYes;
    }
    void ProcessMessages() override {}
    void ShowException(const std::string& message) override { throw std::runtime_error(message); }
    void Run(tk::TApplication&) override {}
    void FormShown(tk::TForm&) override {}
    void FormHidden(tk::TForm&) override {}
};

inline std::string hexRecord(unsigned type, unsigned address, const uint8_t* bytes, unsigned count)
{
    char field[3];
    unsigned sum = 0;
    std::string line = ":";
    const auto put = [&](unsigned value) {
        std::snprintf(field, sizeof field, "%02X", value & 0xFFu);
        line += field;
        sum += value & 0xFFu;
    };
    put(count);
    put(address >> 8);
    put(address);
    put(type);
    for (unsigned i = 0; i < count; ++i)
        put(bytes[i]);
    put(0x100u - (sum & 0xFFu));
    return line + "\r\n";
}

// A folder holding a firmware file that fills the whole flash, made current
// for the benchmark's life.
class FirmwareFolder {
public:
    FirmwareFolder()
    {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd))
            throw std::runtime_error("getcwd");
        previous_ = cwd;
        std::string pattern = (std::filesystem::temp_directory_path() / "kpx-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0)
            throw std::runtime_error("temporary folder");
        path_ = pattern;

        std::mt19937 random(517);
        std::vector<uint8_t> image(flashBytes);
        for (uint8_t& byte : image)
            byte = static_cast<uint8_t>(random());
        std::ofstream out("KPXUpdate517.hex", std::ios::binary);
        for (uint32_t address = 0; address < flashBytes; address += 16) {
            if (address % 0x10000 == 0) {
                const uint8_t segment[2] = {static_cast<uint8_t>(address >> 12), 0};
                out << hexRecord(2, 0, segment, 2);
            }
            out << hexRecord(0, address & 0xFFFFu, &image[address], 16);
        }
        out << hexRecord(1, 0, nullptr, 0);
    }
    ~FirmwareFolder()
    {
        if (chdir(previous_.c_str()) != 0)
            std::perror("chdir");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FirmwareFolder(const FirmwareFolder&) = delete;
    FirmwareFolder& operator=(const FirmwareFolder&) = delete;

private:
    std::string previous_;
    std::string path_;
};

// One complete update through the window on `port`, the list's item `item`
// picked; false unless it reached "Update Complete!".
inline bool runUpdate(std::unique_ptr<serial::ComPort> port, int item)
{
    AgreeingOperator backend;
    tk::TApplication application(backend);
    TfrmUpdate& form = application.CreateForm<TfrmUpdate>(std::move(port));
    form.lboxComPort.Select(item);
    form.btnUpdate.Click();
    return form.lblProgress.GetText() == TfrmUpdate::statusComplete;
}

} // namespace bench_support
