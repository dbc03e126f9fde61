// The system desktop on Linux without a display: no cursor of its own, a
// nominal work area, the terminal's bell, and xdg-open for the shell. The Qt
// front end installs its own view of the desktop over this one.
#include "platform/Desktop.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// Starts "xdg-open file" detached from us (double fork, so no zombie is left
// behind and we never wait for the handler), and reports whether the exec
// succeeded through a close-on-exec pipe. No shell is involved, so the
// address reaches the handler as one argument whatever it contains.
bool spawnOpener(const std::string& file)
{
    const char* const argv[] = {"xdg-open", file.c_str(), nullptr};
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return false;

    const pid_t child = fork();
    if (child < 0) {
        close(pipeFds[0]);
        close(pipeFds[1]);
        return false;
    }
    if (child == 0) {
        close(pipeFds[0]);
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            const int devNull = open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                dup2(devNull, STDIN_FILENO);
                dup2(devNull, STDOUT_FILENO);
            }
            execvp(argv[0], const_cast<char* const*>(argv));
            const int error = errno;
            [[maybe_unused]] const ssize_t written = write(pipeFds[1], &error, sizeof error);
            _exit(127);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }

    close(pipeFds[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int execError = 0;
    ssize_t got;
    do {
        got = read(pipeFds[0], &execError, sizeof execError);
    } while (got < 0 && errno == EINTR);
    close(pipeFds[0]);
    // EOF without data: the exec replaced the grandchild.
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && got == 0;
}

} // namespace

POINT SystemDesktop::cursorPos()
{
    return {0, 0};
}

void SystemDesktop::setCursor(HCURSOR) {}

RECT SystemDesktop::workArea()
{
    return {0, 0, 1024, 768};
}

void SystemDesktop::beep(uint32_t, uint32_t)
{
    if (isatty(STDERR_FILENO))
        [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, "\a", 1);
}

void SystemDesktop::messageBeep(uint32_t)
{
    beep(0, 0);
}

bool SystemDesktop::shellOpen(const std::string& file)
{
    return spawnOpener(file);
}

} // namespace platform
