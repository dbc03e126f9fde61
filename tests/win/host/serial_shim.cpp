// A serial device behind Wine's COM ports, for the Windows port's tests.
// Loaded (LD_PRELOAD) into the Windows test program's Wine process by
// kpx_wine_serial_rig, which maps each test port to a pseudo-terminal. Wine
// drives a COM port's modem lines with the modem-control ioctls, which a
// pseudo-terminal refuses; this library answers them instead for the
// pseudo-terminals it is told about, and every other call goes to the
// system untouched.
//
// KPX_SIM_PORTS lists the devices, "PATH=SPEC;PATH=SPEC", PATH a link to
// the pseudo-terminal and SPEC one of
//   sim:SCENARIO      the simulated instrument (sim::Scenario names)
//   sim:SCENARIO@N    the same, but from the Nth modem-line call on every
//                     call fails with EIO, as an unplugged adapter's would
//
// The instrument's self-timed operations (page write, erase) run on a
// virtual clock that each line call moves on by 100 us, about what a line
// call costs on a real port, so the program's waits, which the tests run on
// their own virtual clock, are never too short for it.
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <vector>

namespace {

struct Device {
    std::string path;
    dev_t rdev = 0;
    uint64_t failFrom = 0; // 0: never
    uint64_t calls = 0;
    std::unique_ptr<sim::Atmega128> chip;
    int lines = 0; // TIOCM_RTS and TIOCM_DTR as last set
};

struct Shim {
    std::mutex mutex;
    platform::VirtualClock clock{10'000'000, 0};
    platform::ScopedClock useClock{clock};
    std::vector<Device> devices;

    Shim()
    {
        const char* list = std::getenv("KPX_SIM_PORTS");
        std::stringstream entries(list ? list : "");
        for (std::string entry; std::getline(entries, entry, ';');)
            add(entry);
    }

    void add(const std::string& entry)
    {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos)
            return;
        Device device;
        device.path = entry.substr(0, equals);
        std::string spec = entry.substr(equals + 1);
        if (spec.rfind("sim:", 0) != 0) {
            std::fprintf(stderr, "serial shim: unknown device \"%s\"\n", spec.c_str());
            return;
        }
        spec = spec.substr(4);
        const size_t at = spec.find('@');
        if (at != std::string::npos) {
            device.failFrom = std::strtoull(spec.c_str() + at + 1, nullptr, 10);
            spec.resize(at);
        }
        try {
            device.chip = std::make_unique<sim::Atmega128>(sim::Scenario::parse(spec));
        } catch (const std::exception& error) {
            std::fprintf(stderr, "serial shim: %s\n", error.what());
            return;
        }
        // The rig has made the link before it started the program.
        struct stat target {};
        if (stat(device.path.c_str(), &target) == 0 && S_ISCHR(target.st_mode)) {
            device.rdev = target.st_rdev;
            devices.push_back(std::move(device));
        }
    }

    // The device behind a descriptor, or null.
    Device* find(int fd)
    {
        struct stat info {};
        if (devices.empty() || fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
            return nullptr;
        for (Device& device : devices)
            if (device.rdev == info.st_rdev)
                return &device;
        return nullptr;
    }

    // Answers one modem-control request; false for requests it leaves alone.
    bool answer(Device& device, unsigned long request, int* bits, int& result)
    {
        if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC)
            return false;
        ++device.calls;
        clock.advanceNs(100'000);
        if (device.failFrom != 0 && device.calls >= device.failFrom) {
            errno = EIO;
            result = -1;
            return true;
        }
        const int outputs = TIOCM_RTS | TIOCM_DTR;
        if (request == TIOCMGET) {
            *bits = device.lines | (device.chip->cts() ? TIOCM_CTS : 0) | TIOCM_DSR | TIOCM_CD;
        } else {
            int lines = device.lines;
            if (request == TIOCMSET)
                lines = *bits & outputs;
            else if (request == TIOCMBIS)
                lines |= *bits & outputs;
            else
                lines &= ~(*bits & outputs);
            // The instrument sees each line change in the order the port
            // makes it; one request changes one line here.
            if ((lines ^ device.lines) & TIOCM_DTR)
                device.chip->setDtr((lines & TIOCM_DTR) != 0);
            if ((lines ^ device.lines) & TIOCM_RTS)
                device.chip->setRts((lines & TIOCM_RTS) != 0);
            device.lines = lines;
        }
        result = 0;
        return true;
    }
};

Shim& shim()
{
    static Shim* const instance = new Shim;
    return *instance;
}

using IoctlFn = int (*)(int, unsigned long, ...);

} // namespace

extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...)
{
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);

    {
        Shim& s = shim();
        std::lock_guard lock(s.mutex);
        if (Device* device = s.find(fd)) {
            int result = 0;
            if (s.answer(*device, request, static_cast<int*>(argument), result))
                return result;
        }
    }
    static const auto real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real(fd, request, argument);
}
