// The Windows serial port on a fake of its Win32 calls: how each failure of
// the system is reported, the settings a port is opened with, and that each
// line change is one system call (which line each call moves: the serial
// suite under Wine, where the instrument must answer).
#include "link/Pgmcomm.h"
#include "link/win/WinComPort.h"
#include "link/win/WinSerialSys.h"
#include "platform/VirtualClock.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

using serial::WinComPort;
using testing::AllOf;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

HANDLE const fakeHandle = reinterpret_cast<HANDLE>(intptr_t{0x4242});

// Records every call by name; the call named in failing fails with error.
class FakeSys final : public serial::WinSerialSys {
public:
    HANDLE CreateFileA(const char* path) override
    {
        opened.push_back(path);
        return record("CreateFileA") ? fakeHandle : INVALID_HANDLE_VALUE;
    }
    BOOL CloseHandle(HANDLE handle) override
    {
        closedRight = closedRight && handle == fakeHandle;
        return record("CloseHandle");
    }
    BOOL SetupComm(HANDLE, DWORD, DWORD) override { return record("SetupComm"); }
    BOOL GetCommState(HANDLE, DCB* settings) override
    {
        // Left behind by a program that used hardware flow control.
        *settings = DCB{};
        settings->DCBlength = sizeof(DCB);
        settings->BaudRate = 115200;
        settings->fOutxCtsFlow = TRUE;
        settings->fRtsControl = RTS_CONTROL_HANDSHAKE;
        settings->fDtrControl = DTR_CONTROL_HANDSHAKE;
        return record("GetCommState");
    }
    BOOL SetCommState(HANDLE, DCB* settings) override
    {
        applied = *settings;
        return record("SetCommState");
    }
    BOOL EscapeCommFunction(HANDLE, DWORD) override { return record("EscapeCommFunction"); }
    BOOL GetCommModemStatus(HANDLE, DWORD* status) override
    {
        *status = MS_DSR_ON;
        return record("GetCommModemStatus");
    }
    DWORD GetLastError() override { return lastError; }

    std::string failing;
    DWORD error = 0;
    std::vector<std::string> calls;
    std::vector<std::string> opened;
    DCB applied{};
    bool closedRight = true;

private:
    bool record(const char* name)
    {
        calls.push_back(name);
        lastError = failing == name ? error : 0;
        return failing != name;
    }
    DWORD lastError = 0;
};

class SeamPort : public testing::Test {
protected:
    void SetUp() override { port.SetComNumber(3); }
    FakeSys sys;
    WinComPort port{&sys};
};

TEST_F(SeamPort, EachFailureOfTheSystemIsReportedAsItsKindWithTheSystemsReason)
{
    struct Case {
        const char* failing;
        DWORD error;
        const std::type_info& kind;
        const char* words; // part of the message beside the system's text
        std::vector<std::string> calls;
    };
    const std::vector<std::string> opening = {"CreateFileA"};
    const std::vector<std::string> closedAgain = {"CreateFileA", "GetCommState", "CloseHandle"};
    const std::vector<Case> cases = {
        {"CreateFileA", ERROR_FILE_NOT_FOUND, typeid(serial::EBadId), "there is no serial port", opening},
        {"CreateFileA", ERROR_PATH_NOT_FOUND, typeid(serial::EBadId), "there is no serial port", opening},
        {"CreateFileA", ERROR_ACCESS_DENIED, typeid(serial::EAlreadyOpen), "in use by another program", opening},
        {"CreateFileA", ERROR_SHARING_VIOLATION, typeid(serial::EAlreadyOpen), "in use by another program", opening},
        {"CreateFileA", ERROR_GEN_FAILURE, typeid(serial::EBadId), "cannot open", opening},
        // A device that keeps no serial settings is no serial port.
        {"GetCommState", ERROR_INVALID_FUNCTION, typeid(serial::EBadId), "is not a serial port", closedAgain},
        {"GetCommState", ERROR_GEN_FAILURE, typeid(serial::EBadId), "reading the settings of", closedAgain},
        {"SetCommState", ERROR_INVALID_PARAMETER, typeid(serial::EBadId), "setting up",
         {"CreateFileA", "GetCommState", "SetupComm", "SetCommState", "CloseHandle"}},
    };
    for (const Case& c : cases) {
        sys.calls.clear();
        sys.failing = c.failing;
        sys.error = c.error;
        try {
            port.SetOpen(true);
            ADD_FAILURE() << c.failing << ' ' << c.error << " opened";
        } catch (const serial::EComPortError& failure) {
            EXPECT_EQ(typeid(failure), c.kind) << c.error;
            const std::string message = failure.what();
            EXPECT_THAT(message, AllOf(HasSubstr("COM3"), HasSubstr("\\\\.\\COM3"), HasSubstr(c.words),
                                       HasSubstr("(error " + std::to_string(c.error) + ")")));
        }
        EXPECT_EQ(sys.calls, c.calls) << c.failing << ' ' << c.error;
        EXPECT_FALSE(port.GetOpen());
    }
    EXPECT_TRUE(sys.closedRight);

    // The queue sizes are only asked for: a driver that refuses them still
    // drives its lines.
    sys.failing = "SetupComm";
    port.SetOpen(true);
    EXPECT_TRUE(port.GetOpen());

    port.SetComNumber(0);
    EXPECT_THROW(port.SetOpen(true), serial::ENoPortSelected);
}

// The handshake a previous program left is undone: nothing but this object
// may move RTS or DTR, and no input line may hold anything back. (Speed and
// framing do not matter to lines moved one by one.)
TEST_F(SeamPort, OpensTheDeviceNamespacePortWithoutHardwareHandshake)
{
    port.SetOpen(true);
    EXPECT_EQ(sys.opened, std::vector<std::string>{"\\\\.\\COM3"});
    const DCB& dcb = sys.applied;
    EXPECT_EQ(dcb.fRtsControl, unsigned{RTS_CONTROL_ENABLE});
    EXPECT_EQ(dcb.fDtrControl, unsigned{DTR_CONTROL_ENABLE});
    EXPECT_FALSE(dcb.fOutxCtsFlow || dcb.fOutxDsrFlow || dcb.fDsrSensitivity);

    // A port opened twice stays one handle; another number reopens, none closes.
    sys.calls.clear();
    port.SetOpen(true);
    EXPECT_TRUE(sys.calls.empty());
    port.SetComNumber(4);
    EXPECT_EQ(sys.opened.back(), "\\\\.\\COM4");
    EXPECT_EQ(sys.calls.front(), "CloseHandle");
    port.SetComNumber(0);
    EXPECT_FALSE(port.GetOpen());
    EXPECT_EQ(sys.calls.back(), "CloseHandle");
}

TEST_F(SeamPort, EachLineCallIsOneSystemCallAndAFailedOneStopsWithTheReason)
{
    EXPECT_THAT([&] { port.SetRTS(true); }, ThrowsMessage<serial::ELineError>(HasSubstr("not open")));
    port.SetOpen(true);

    // The adapter pulled out: every call fails from now on.
    sys.failing = "EscapeCommFunction";
    sys.error = ERROR_BAD_COMMAND;
    EXPECT_THAT([&] { port.SetDTR(false); },
                ThrowsMessage<serial::ELineError>(AllOf(HasSubstr("COM3"), HasSubstr("DTR line"),
                                                        HasSubstr("(error 22)"), HasSubstr("still connected"))));
    sys.failing = "GetCommModemStatus";
    EXPECT_THAT([&] { port.GetCTS(); }, ThrowsMessage<serial::ELineError>(HasSubstr("CTS line")));

    // One byte: the idle clock, then per bit a CTS reading, a DTR change
    // and two clock changes.
    sys.failing.clear();
    sys.calls.clear();
    platform::VirtualClock clock;
    platform::ScopedClock useClock(clock);
    pgmComm link(port);
    EXPECT_EQ(link.transferByte(0xAC), 0xFF);
    EXPECT_EQ(sys.calls.size(), 33u);
}

} // namespace
