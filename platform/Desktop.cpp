#include "platform/Desktop.h"

#include <cerrno>
#include <cstring>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

Desktop* current = nullptr;
HCURSOR lastCursor = 0;

constexpr intptr_t kShellOk = 42;
constexpr intptr_t SE_ERR_NOASSOC = 31;

// The system desktop without a display; Windows has its own in
// win/SystemDesktop.cpp.
#ifndef _WIN32
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
#endif

} // namespace

#ifndef _WIN32
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
#endif

Desktop& systemDesktop()
{
    static SystemDesktop desktop;
    return desktop;
}

Desktop& currentDesktop()
{
    return current ? *current : systemDesktop();
}

ScopedDesktop::ScopedDesktop(Desktop& desktop)
    : previous_(current)
{
    current = &desktop;
}

ScopedDesktop::~ScopedDesktop()
{
    current = previous_;
}

bool GetCursorPos(POINT* point)
{
    if (!point)
        return false;
    *point = currentDesktop().cursorPos();
    return true;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    const HCURSOR previous = lastCursor;
    lastCursor = cursor;
    currentDesktop().setCursor(cursor);
    return previous;
}

bool SystemParametersInfoA(uint32_t action, uint32_t, void* param, uint32_t)
{
    if (action != SPI_GETWORKAREA || !param)
        return false;
    *static_cast<RECT*>(param) = currentDesktop().workArea();
    return true;
}

bool Beep(uint32_t frequency, uint32_t durationMs)
{
    currentDesktop().beep(frequency, durationMs);
    return true;
}

bool MessageBeep(uint32_t type)
{
    currentDesktop().messageBeep(type);
    return true;
}

intptr_t ShellExecuteA(HWND, const char* operation, const char* file, const char* parameters,
                       const char*, int)
{
    if (operation && std::strcmp(operation, "open") != 0)
        return SE_ERR_NOASSOC;
    if (!file || !*file || (parameters && *parameters))
        return SE_ERR_NOASSOC;
    return currentDesktop().shellOpen(file) ? kShellOk : SE_ERR_NOASSOC;
}

} // namespace platform
