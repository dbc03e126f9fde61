// Runs a Windows test program under Wine with serial devices behind its COM
// ports: each --port gets a fresh pseudo-terminal, linked at the path the
// Wine prefix maps that port to, and described to the serial shim, which is
// preloaded into the program. The links go when the program ends.
//
// Usage: kpx_wine_serial_rig --ports DIR --shim LIBRARY [--port COMn=SPEC]...
//                            -- COMMAND [ARGUMENT...]
// SPEC as the shim reads it (serial_shim.cpp). Exit status: the command's.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Port {
    std::string link;
    std::string spec;
    int master = -1;
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "kpx_wine_serial_rig: %s\n", message.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder;
    std::string shim;
    std::vector<Port> ports;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--")
            break;
        if (i + 1 >= argc)
            fail("missing value after " + argument);
        const std::string value = argv[++i];
        if (argument == "--ports") {
            folder = value;
        } else if (argument == "--shim") {
            shim = value;
        } else if (argument == "--port") {
            const size_t equals = value.find('=');
            if (equals == std::string::npos)
                fail("--port takes COMn=SPEC");
            ports.push_back({value.substr(0, equals), value.substr(equals + 1)});
        } else {
            fail("unknown option " + argument);
        }
    }
    if (folder.empty() || shim.empty() || i + 1 >= argc)
        fail("usage: kpx_wine_serial_rig --ports DIR --shim LIBRARY [--port COMn=SPEC]... -- COMMAND...");

    std::string described;
    for (Port& port : ports) {
        port.link = folder + "/" + port.link;
        port.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (port.master < 0 || grantpt(port.master) != 0 || unlockpt(port.master) != 0)
            fail(std::string("no pseudo-terminal: ") + std::strerror(errno));
        const char* slave = ptsname(port.master);
        struct stat existing {};
        // Only our own links are replaced; anything else at the path stays.
        if (lstat(port.link.c_str(), &existing) == 0) {
            if (!S_ISLNK(existing.st_mode))
                fail(port.link + " exists and is not a link");
            unlink(port.link.c_str());
        }
        if (!slave || symlink(slave, port.link.c_str()) != 0)
            fail("cannot link " + port.link + ": " + std::strerror(errno));
        described += (described.empty() ? "" : ";") + port.link + "=" + port.spec;
    }
    setenv("KPX_SIM_PORTS", described.c_str(), 1);
    const char* preload = std::getenv("LD_PRELOAD");
    const std::string libraries = shim + (preload && *preload ? ":" + std::string(preload) : "");
    setenv("LD_PRELOAD", libraries.c_str(), 1);

    const pid_t child = fork();
    if (child < 0)
        fail(std::string("fork: ") + std::strerror(errno));
    if (child == 0) {
        execvp(argv[i + 1], argv + i + 1);
        std::fprintf(stderr, "kpx_wine_serial_rig: cannot run %s: %s\n", argv[i + 1], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    for (const Port& port : ports) {
        unlink(port.link.c_str());
        close(port.master);
    }
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
