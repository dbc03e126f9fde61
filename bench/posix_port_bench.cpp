// What the port itself adds to a line call, apart from the driver: the
// seam's virtual call and the checks around it. A byte costs 33 of them.
#include "link/Pgmcomm.h"
#include "link/posix/PosixComPort.h"
#include "platform/VirtualClock.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

class NoOpSys final : public serial::SerialSys {
public:
    int open(const char*, int) override { return 3; }
    int close(int) override { return 0; }
    int ioctl(int, unsigned long, int*) override { return 0; }
    int flock(int, int) override { return 0; }
    int tcgetattr(int, termios*) override { return 0; }
    int tcsetattr(int, int, const termios*) override { return 0; }
};

void BM_PosixPortLineCall(benchmark::State& state)
{
    NoOpSys sys;
    serial::PosixComPort port(&sys);
    port.SetComNumber(1);
    port.SetOpen(true);
    bool level = false;
    for (auto _ : state) {
        port.SetRTS(level);
        level = !level;
    }
}
BENCHMARK(BM_PosixPortLineCall);

void BM_PosixPortTransferByte(benchmark::State& state)
{
    NoOpSys sys;
    serial::PosixComPort port(&sys);
    port.SetComNumber(1);
    port.SetOpen(true);
    platform::VirtualClock clock;
    platform::ScopedClock useClock(clock);
    pgmComm link(port);
    uint8_t value = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(link.transferByte(value++));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PosixPortTransferByte);

// The kernel round trip of one modem ioctl, on a pseudo-terminal (which
// refuses it, but only after the full system-call path).
void BM_KernelModemIoctl(benchmark::State& state)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    auto& sys = serial::SerialSys::real();
    for (auto _ : state) {
        int bits = 0;
        benchmark::DoNotOptimize(sys.ioctl(slave, TIOCMGET, &bits));
    }
    ::close(slave);
    ::close(master);
}
BENCHMARK(BM_KernelModemIoctl);

} // namespace
