#include "tests/win/ConsoleProcess.h"

#include <stdexcept>

namespace win_test {

namespace {

// The Ctrl+C goes to everyone on the console, the test too, which it must
// not end.
BOOL WINAPI swallowInterrupt(DWORD event)
{
    return event == CTRL_C_EVENT;
}

} // namespace

Finished runConsole(const std::filesystem::path& program, const std::string& arguments, const std::string& input,
                    const std::function<void(const std::string&)>& watch, bool outputGone)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead = nullptr;
    HANDLE inWrite = nullptr;
    HANDLE outRead = nullptr;
    HANDLE outWrite = nullptr;
    if (!::CreatePipe(&inRead, &inWrite, &inherit, 0) || !::CreatePipe(&outRead, &outWrite, &inherit, 0))
        throw std::runtime_error("no pipes");
    ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = outWrite;
    HANDLE goneRead = nullptr;
    HANDLE goneWrite = nullptr;
    if (outputGone) {
        if (!::CreatePipe(&goneRead, &goneWrite, &inherit, 0))
            throw std::runtime_error("no pipe");
        ::CloseHandle(goneRead);
        startup.hStdOutput = goneWrite;
    }
    PROCESS_INFORMATION process{};
    std::string commandLine = "\"" + program.string() + "\" " + arguments;
    const BOOL started = ::CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::CloseHandle(inRead);
    ::CloseHandle(outWrite);
    if (goneWrite)
        ::CloseHandle(goneWrite);
    if (!started) {
        ::CloseHandle(inWrite);
        ::CloseHandle(outRead);
        throw std::runtime_error("cannot start " + commandLine + ": " + platform::systemErrorText(::GetLastError()));
    }
    DWORD written = 0;
    ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    ::CloseHandle(inWrite);

    Finished finished;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(outRead, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        finished.output.append(chunk, got);
        if (watch)
            watch(finished.output);
    }
    ::CloseHandle(outRead);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &finished.status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return finished;
}

Finished interruptConsole(const std::filesystem::path& program, const std::string& arguments, const std::string& input,
                          const std::string& when, bool& interrupted)
{
    interrupted = false;
    ::FreeConsole();
    if (!::AllocConsole() || !::SetConsoleCtrlHandler(&swallowInterrupt, TRUE))
        throw std::runtime_error("no console of our own");
    struct OwnConsole {
        ~OwnConsole()
        {
            ::SetConsoleCtrlHandler(&swallowInterrupt, FALSE);
            ::FreeConsole();
        }
    } given;
    return runConsole(program, arguments, input, [&](const std::string& output) {
        if (!interrupted && output.find(when) != std::string::npos)
            interrupted = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
    });
}

} // namespace win_test
