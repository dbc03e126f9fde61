// FT232R adapters through the D2XX library, as the console program meets
// them on Windows: a double of ftd2xx.dll (tests/d2xx) in this suite's own
// Wine prefix's system folder, or none there, and a planted one beside a
// copy of the program and in its current folder that must never be loaded.
// The instrument behind the double runs on real time, as the program does.
#include "tests/support/TempFolder.h"
#include "tests/win/ConsoleProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using testing::HasSubstr;
using testing::Not;
using win_test::Finished;
using win_test::runConsole;

namespace {

namespace fs = std::filesystem;

class D2xxAdapter : public testing::Test {
protected:
    D2xxAdapter()
    {
        char system[MAX_PATH] = {};
        ::GetSystemDirectoryA(system, sizeof system);
        installed = fs::path(system) / "ftd2xx.dll";
        fs::copy_file(KPX_UPDATE_EXE, folder / "kpx-update.exe");
        fs::copy_file(KPX_SAMPLE_FIRMWARE_PATH, folder / "KPXUpdate517.hex");
        // Where a planted library would be found by the ordinary search.
        fs::copy_file(KPX_D2XX_PLANTED_DLL, folder / "ftd2xx.dll");
        fs::create_directory(folder / "work");
        fs::copy_file(KPX_D2XX_PLANTED_DLL, folder / "work/ftd2xx.dll");
        fs::copy_file(KPX_SAMPLE_FIRMWARE_PATH, folder / "work/KPXUpdate517.hex");
        fs::current_path(folder / "work");
        ::SetEnvironmentVariableA("KPX_D2XX_LOG", log.string().c_str());
    }
    ~D2xxAdapter() override
    {
        uninstall();
        fs::current_path(before);
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    void uninstall()
    {
        std::error_code ignored;
        fs::remove(installed, ignored);
    }
    // The driver package's library, with adapters as $KPX_D2XX_DOUBLE says.
    void install(const char* adapters)
    {
        uninstall();
        fs::copy_file(KPX_D2XX_DOUBLE_DLL, installed);
        ::SetEnvironmentVariableA("KPX_D2XX_DOUBLE", adapters);
    }
    Finished run(const std::string& arguments) { return runConsole(program, arguments, ""); }
    std::string logged()
    {
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        return text.str();
    }

    const fs::path before = fs::current_path();
    const fs::path folder = testing_support::makeTempFolder("kpx-d2xx-");
    const fs::path program = folder / "kpx-update.exe";
    const fs::path log = folder / "d2xx.log";
    fs::path installed;
};

// Without the library no adapter is offered and the port list says why;
// with it the system folder's is used, and a planted one never.
TEST_F(D2xxAdapter, OnlyTheSystemFoldersLibraryIsUsed)
{
    uninstall();
    const Finished none = run("--list-ports");
    EXPECT_EQ(none.status, 0u) << none.output;
    EXPECT_THAT(none.output, HasSubstr("COM4\r\n(no USB FT232R adapter found: no FTDI D2XX driver installed)\r\n"));
    const Finished usb = run("--port usb --yes");
    EXPECT_EQ(usb.status, 1u) << usb.output;
    EXPECT_THAT(usb.output, HasSubstr("no FTDI D2XX driver installed"));
    EXPECT_EQ(logged(), "") << "a planted ftd2xx.dll was loaded";

    install("A12345,com=7");
    const Finished list = run("--list-ports");
    EXPECT_EQ(list.status, 0u) << list.output;
    EXPECT_THAT(list.output, HasSubstr("COM4\r\nUSB FT232R A12345 (COM7)\r\n"));
    EXPECT_EQ(logged(), "ftd2xx.dll loaded\nFT_Close\n") << "the COM number is asked on a handle of its own";
    // Usage names what Windows has.
    const Finished help = run("--help");
    EXPECT_THAT(help.output, HasSubstr("Ctrl+Break"));
    EXPECT_THAT(help.output, Not(HasSubstr("SIGHUP")));
}

// No adapter and a held one end before the prompt, naming it; a full update,
// and one whose adapter is pulled out during programming (at its 1000th
// call), switch bit-bang off again as far as the adapter still answers.
TEST_F(D2xxAdapter, AnUpdateThroughTheAdapterEndsAsItShould)
{
    const std::string bitBangOff = "FT_SetBitMode 14 04\nFT_SetBitMode 00 00\nFT_Close\n";
    struct Case {
        const char* adapters;
        DWORD status;
        std::vector<std::string> says;
        std::string logs; // bit-bang on and off again; none: it ends before the prompt
    };
    for (const Case& update :
         {Case{"none", 1, {"no USB FT232R adapter is connected"}, ""},
          Case{"A12345,held", 1,
               {"[Port in Use]\r\nSelected COM port is already in use by another application.  Please close the "
                "other application and try again.\r\n\r\nUSB FT232R (in use): another program is using the adapter"},
               ""},
          Case{"A12345,com=7", 0, {"Update Complete!", "Lock FC  Fuse low BF  Fuse extended FF  Fuse high 9F"},
               bitBangOff},
          Case{"A12345,com=7,unplug=1000",
               1,
               {"USB FT232R A12345 (COM7): the USB adapter stopped answering", "FT_IO_ERROR", "partly written"},
               bitBangOff}}) {
        SCOPED_TRACE(update.adapters);
        install(update.adapters);
        std::error_code ignored;
        fs::remove(log, ignored);
        const Finished done = run("--port usb --yes");
        EXPECT_EQ(done.status, update.status) << done.output;
        for (const std::string& text : update.says)
            EXPECT_THAT(done.output, HasSubstr(text));
        if (update.logs.empty()) {
            EXPECT_THAT(done.output, Not(HasSubstr("Place M740-RT In Program Mode")));
        }
        EXPECT_THAT(logged(), HasSubstr(update.logs));
    }
}

// Wine 8 does not pass Ctrl+Break on to a console's processes, so only
// Ctrl+C is sent here; the program takes both alike (platform/win/Process.cpp).
TEST_F(D2xxAdapter, CtrlCStopsTheUpdateAndSwitchesBitBangOff)
{
    install("A12345");
    bool sent = false;
    const Finished update =
        win_test::interruptConsole(program, "--port usb --yes", "", "Getting Device Infomation", sent);
    ASSERT_TRUE(sent) << update.output;
    EXPECT_EQ(update.status, 130u) << update.output;
    EXPECT_THAT(update.output, HasSubstr("Nothing was written."));
    EXPECT_THAT(logged(), testing::EndsWith("FT_SetBitMode 14 04\nFT_SetBitMode 00 00\nFT_Close\n"));
}

} // namespace
