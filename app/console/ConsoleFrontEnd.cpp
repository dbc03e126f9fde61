#include "app/console/ConsoleFrontEnd.h"

#include "app/Firmware.h"
#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "link/SystemPort.h"
#include "link/ftdi/SystemPorts.h"
#include "platform/Process.h"
#include "platform/VirtualClock.h"
#include "sim/Atmega128.h"
#include "sim/Ft232rModel.h"
#include "toolkit/Application.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int exitComplete = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;
// Stopped by a signal: 128 + its number, as the shell reports a program
// the signal ended.
constexpr int exitSignalled = 128;

// Retries that --yes grants a silent device before it gives up, and chip
// erases it grants a device that keeps reading as locked.
constexpr int autoRetryLimit = 3;
constexpr int autoEraseLimit = 3;

std::string withPlainLineEnds(std::string text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        result += text[i];
    }
    return result;
}

// Answers the operator understood the third time at the latest; then the
// prompt takes Cancel, so that a script that answers nonsense ends.
constexpr int misunderstoodAnswerLimit = 3;

struct Choice {
    const char* label;
    int answer;
    // What may be typed for it, in any case: blank-separated words.
    std::string spellings;
};

std::string lowerTrimmed(const std::string& text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    std::string result;
    for (auto c = first; c < last; ++c)
        result += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return result;
}

const Choice* understood(const std::vector<Choice>& choices, const std::string& line)
{
    const std::string typed = lowerTrimmed(line);
    for (const Choice& choice : choices) {
        std::istringstream words(choice.spellings);
        for (std::string word; words >> word;)
            if (word == typed)
                return &choice;
    }
    return nullptr;
}

class ConsoleBackend final : public tk::Backend, public tk::ControlObserver {
public:
    ConsoleBackend(std::istream& in, std::ostream& out, std::ostream& err, bool terminal, bool autoYes)
        : in_(in)
        , inputTerminal_(&in == &std::cin && platform::inputIsTerminal())
        , out_(out)
        , err_(err)
        , terminal_(terminal)
        , autoYes_(autoYes)
    {
    }

    void attach(TfrmUpdate& form)
    {
        form_ = &form;
        form.ProgressBar.setObserver(this);
        form.lblProgress.setObserver(this);
    }

    void detach()
    {
        if (!form_)
            return;
        form_->ProgressBar.setObserver(nullptr);
        form_->lblProgress.setObserver(nullptr);
        form_ = nullptr;
    }

    int MessageBox(const std::string& text, const std::string& caption, int flags) override
    {
        showMessage(caption, text);
        const Choice cancel{"[C]ancel", tk::IDCANCEL, "c cancel n no"};
        switch (flags & 0x0F) {
        case tk::MB_OKCANCEL:
            return ask({{"[O]K", tk::IDOK, "o ok y yes"}, cancel}, tk::IDOK, tk::IDCANCEL);
        case tk::MB_RETRYCANCEL: {
            const bool retry = autoRetries_ < autoRetryLimit;
            const int answer = ask({{"[R]etry", tk::IDRETRY, "r retry"}, cancel}, retry ? tk::IDRETRY : tk::IDCANCEL,
                                   tk::IDCANCEL);
            if (autoYes_ && answer == tk::IDRETRY)
                ++autoRetries_;
            return answer;
        }
        default:
            return tk::IDOK;
        }
    }

    int MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons, int,
                   std::optional<tk::ScreenPoint>) override
    {
        showMessage(tk::dialogCaption(kind), text);
        // Yes and No keep their own letters where they are buttons.
        const bool yesNo = (buttons & tk::mbYes) != 0;
        std::vector<Choice> choices;
        if (buttons & tk::mbYes)
            choices.push_back({"[Y]es", tk::mrYes, "y yes"});
        if (buttons & tk::mbNo)
            choices.push_back({"[N]o", tk::mrNo, "n no"});
        if (buttons & tk::mbOK)
            choices.push_back({"[O]K", tk::mrOk, yesNo ? "o ok" : "o ok y yes"});
        if (buttons & tk::mbCancel)
            choices.push_back({"[C]ancel", tk::mrCancel, (buttons & tk::mbNo) ? "c cancel" : "c cancel n no"});
        if (choices.empty())
            return tk::mrCancel;
        return ask(choices, choices.front().answer, tk::mrCancel);
    }

    void ProcessMessages() override
    {
        // Ctrl+C is this front end's confirmed close: the update stops at
        // its next test of the flag.
        if (platform::StopRequests::requested() && form_)
            form_->abortFlag = true;
    }

    void ShowException(const std::string& message) override
    {
        lastMessage_ = message;
        endProgressLine();
        err_ << "kpx-update: " << message << '\n';
        err_.flush();
    }

    void Run(tk::TApplication&) override {}
    void FormShown(tk::TForm&) override {}
    void FormHidden(tk::TForm&) override {}
    void TerminateRequested() override { terminateRequested = true; }

    void controlChanged(tk::TControl& control) override
    {
        if (!form_)
            return;
        if (&control == &form_->lblProgress && control.GetText() == TfrmUpdate::statusErase) {
            endProgressLine();
            out_ << "Check value (CRC): " << form_->lblCRC.GetText() << std::endl;
        }
        drawProgress();
    }

    void endProgressLine()
    {
        if (lineOpen_) {
            out_ << '\n';
            lineOpen_ = false;
        }
    }

    bool terminateRequested = false;

    // The last message on standard error ends with text: it was said there.
    bool lastMessageEndsWith(const std::string& text) const { return lastMessage_.ends_with(text); }

private:
    void showMessage(const std::string& caption, const std::string& text)
    {
        endProgressLine();
        out_ << "[" << caption << "]\n" << withPlainLineEnds(text) << '\n';
        out_.flush();
        // The progress picture starts afresh below the message.
        drawn_.clear();
    }

    int ask(const std::vector<Choice>& choices, int autoAnswer, int cancelAnswer)
    {
        std::string prompt;
        std::string keys;
        for (const Choice& choice : choices) {
            if (!prompt.empty()) {
                prompt += '/';
                keys += &choice == &choices.back() ? " or " : ", ";
            }
            prompt += choice.label;
            keys += choice.spellings.substr(0, choice.spellings.find(' '));
        }
        prompt += "? ";
        for (int misunderstood = 0;;) {
            out_ << prompt;
            if (platform::StopRequests::requested()) {
                out_ << "(interrupted)\n";
                out_.flush();
                return cancelAnswer;
            }
            if (autoYes_) {
                for (const Choice& choice : choices)
                    if (choice.answer == autoAnswer)
                        out_ << choice.label << " (--yes)\n";
                out_.flush();
                return autoAnswer;
            }
            out_.flush();
            std::string line;
            if (!std::getline(in_, line)) {
                out_ << "(no answer)" << std::endl;
                return cancelAnswer;
            }
            // A terminal has echoed the answer already.
            if (!inputTerminal_)
                out_ << line << '\n';
            if (const Choice* choice = understood(choices, line))
                return choice->answer;
            if (++misunderstood == misunderstoodAnswerLimit) {
                out_ << "(not understood " << misunderstood << " times: taken as Cancel)" << std::endl;
                return cancelAnswer;
            }
            out_ << "(not understood: type " << keys << ")\n";
        }
    }

    void drawProgress()
    {
        const std::string& status = form_->lblProgress.GetText();
        if (status.empty())
            return;
        const tk::TProgressBar& bar = form_->ProgressBar;
        const int span = bar.Max() - bar.Min();
        const int percent = span > 0 ? (bar.Position() - bar.Min()) * 100 / span : 0;

        if (terminal_) {
            constexpr int width = 30;
            const int filled = percent * width / 100;
            std::string picture = status + " [" + std::string(static_cast<size_t>(filled), '#') +
                                  std::string(static_cast<size_t>(width - filled), '-') + "] " +
                                  std::to_string(percent) + "%";
            if (picture == drawn_)
                return;
            drawn_ = picture;
            out_ << '\r' << picture << "\033[K";
            out_.flush();
            lineOpen_ = true;
            return;
        }
        // Piped: a line for each step, and one per tenth of the bar that
        // the running step fills.
        if (status != plainStatus_) {
            plainStatus_ = status;
            plainPosition_ = bar.Position();
            plainTenth_ = -1;
            out_ << status << std::endl;
            return;
        }
        if (bar.Position() == plainPosition_ || !form_->IsProgramming())
            return;
        plainPosition_ = bar.Position();
        if (percent / 10 == plainTenth_)
            return;
        plainTenth_ = percent / 10;
        out_ << "  " << status << "  " << plainTenth_ * 10 << '%' << std::endl;
    }

    std::istream& in_;
    bool inputTerminal_;
    std::ostream& out_;
    std::ostream& err_;
    bool terminal_;
    bool autoYes_;
    int autoRetries_ = 0;
    TfrmUpdate* form_ = nullptr;
    std::string drawn_;
    std::string lastMessage_;
    bool lineOpen_ = false;
    std::string plainStatus_;
    int plainPosition_ = 0;
    int plainTenth_ = -1;
};

std::string folderLines()
{
    std::string lines;
    for (const std::string& folder : firmware::searchFolders())
        lines += "  " + folder + "\n";
    return lines;
}

void printHelp(std::ostream& out)
{
    out << "Usage: kpx-update [--port PORT] [--firmware FILE] [--simulate[=SCENARIO] [--fast]] [--yes]\n"
           "                  [--list-ports] [--version]\n"
           "\n"
           "Rewrites the program memory of an M740-RT with the firmware file, as the updater\n"
           "window does. \"KPXUpdate517.hex\" is looked for in these folders, in order:\n"
        << folderLines()
        << "\n"
           "Options:\n"
           "  --port PORT             the port the instrument is connected to: COM1..COM4, usb\n"
           "                          (the only FT232R USB adapter) or usb:SERIAL (the adapter\n"
           "                          with that serial number)\n"
           "  --list-ports            list the ports and the USB adapters found, then end\n"
           "  --firmware FILE         program FILE instead of looking for KPXUpdate517.hex\n"
           "  --simulate[=SCENARIO]   talk to a simulated instrument instead of a real port\n"
           "                          (on any chosen port, or on a modelled USB adapter with\n"
           "                          serial number SIM00001; COM1 when --port is not given)\n"
           "  --fast                  with --simulate only: run the instrument and the waits\n"
           "                          on simulated time, so the detection waits take no real time\n"
           "  --yes                   answer OK and Retry by itself (at most "
        << autoRetryLimit
        << " retries, then Cancel;\n"
           "                          a device that stays locked is erased at most "
        << autoEraseLimit << " times)\n"
           "  --version               the program's version\n"
           "  --help                  this text\n"
           "\n"
           "Scenarios of the simulated instrument:\n"
        << sim::Scenario::names()
        << "\n"
           "Cable: the instrument's programming interface runs on the port's modem lines,\n"
           "each inverted by the RS-232 level shifter:\n"
           "  RTS  clock to the instrument\n"
           "  DTR  data to the instrument\n"
           "  CTS  data from the instrument\n"
           "No character is sent or received through the port.\n"
           "\n"
        << serial::systemPortsHelp()
        << "\n"
           "Exit status: 0 after \"Update Complete!\", 1 when the update did not complete,\n"
           "2 for a usage error, "
        << platform::StopRequests::help()
        << ".\nAfter a stop the last message says what the instrument now holds.\n";
}

struct Options {
    std::string port;
    bool listPorts = false;
    bool simulate = false;
    std::string scenario = "normal";
    bool fast = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    std::string firmware;
};

Options parseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--port") {
            if (i + 1 >= argc)
                throw std::invalid_argument("--port needs a port name (COM1..COM4, usb or usb:SERIAL)");
            options.port = argv[++i];
        } else if (arg.rfind("--port=", 0) == 0) {
            options.port = arg.substr(7);
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--firmware" || arg.rfind("--firmware=", 0) == 0) {
            if (arg == "--firmware" && i + 1 >= argc)
                throw std::invalid_argument("--firmware needs a file name");
            options.firmware = arg == "--firmware" ? argv[++i] : arg.substr(11);
            if (options.firmware.empty())
                throw std::invalid_argument("--firmware needs a file name");
        } else if (arg == "--simulate") {
            options.simulate = true;
        } else if (arg.rfind("--simulate=", 0) == 0) {
            options.simulate = true;
            options.scenario = arg.substr(11);
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--yes" || arg == "-y") {
            options.yes = true;
        } else {
            throw std::invalid_argument("unknown option \"" + arg + "\" (see --help)");
        }
    }
    if (options.help || options.version || options.listPorts)
        return options;
    if (options.fast && !options.simulate)
        throw std::invalid_argument("--fast needs --simulate: a real instrument runs on real time");
    if (options.simulate && options.port.empty())
        options.port = "COM1";
    if (!options.simulate && options.port.empty())
        throw std::invalid_argument("choose the instrument's port with --port COM1..COM4 or --port usb (see "
                                    "--help, --list-ports)");
    return options;
}

} // namespace

int runConsole(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err)
{
    // A failed write leaves out failed, and the run goes on without it.
    platform::keepRunningWhenOutputCloses();
    Options options;
    std::optional<sim::Scenario> scenario;
    try {
        options = parseOptions(argc, argv);
        if (options.simulate)
            scenario = sim::Scenario::parse(options.scenario);
    } catch (const std::invalid_argument& error) {
        err << "kpx-update: " << error.what() << '\n';
        return exitUsage;
    }
    if (options.help) {
        printHelp(out);
        return exitComplete;
    }
    if (options.version) {
        out << "kpx-update " KPX_VERSION "\n";
        return exitComplete;
    }

    // The clock must be in force before the link calibrates its delay.
    std::optional<platform::VirtualClock> virtualClock;
    std::optional<platform::ScopedClock> clockScope;
    if (options.fast) {
        // One counter tick per microsecond keeps the link's delay to two
        // readings of the counter.
        virtualClock.emplace(1'000'000, 1'000);
        clockScope.emplace(*virtualClock);
    }

    std::unique_ptr<sim::Atmega128> device;
    std::unique_ptr<sim::SimulatedPorts> simulated;
    std::unique_ptr<serial::PortSet> ports;
    if (scenario) {
        device = std::make_unique<sim::Atmega128>(*scenario);
        simulated = std::make_unique<sim::SimulatedPorts>(*device, virtualClock ? &*virtualClock : nullptr);
        ports = std::move(simulated->ports);
    } else {
        ports = serial::makeSystemPorts();
    }
    if (options.listPorts) {
        for (const std::string& line : ports->listing())
            out << line << '\n';
        return exitComplete;
    }
    uint16_t portNumber = 0;
    try {
        portNumber = ports->numberFor(options.port);
    } catch (const std::invalid_argument& error) {
        err << "kpx-update: " << error.what() << '\n';
        return exitUsage;
    } catch (const std::runtime_error& error) {
        err << "kpx-update: " << error.what() << '\n';
        return exitFailed;
    }
    std::unique_ptr<serial::ComPort> port = std::move(ports);

    const platform::StopRequests stopRequests;
    const bool terminal = &out == &std::cout && platform::outputDrawsEscapes();
    ConsoleBackend backend(in, out, err, terminal, options.yes);
    int status = exitFailed;
    {
        tk::TApplication application(backend);
        application.Initialize();
        TfrmUpdate* form = nullptr;
        application.HandleEvent([&] {
            form = &application.CreateForm<TfrmUpdate>(std::move(port));
            application.CreateForm<TAboutBox>();
            application.CreateForm<TPagesDlg>();
        });
        if (form) {
            form->firmwareFile = options.firmware;
            if (options.yes)
                form->lockedEraseLimit = autoEraseLimit;
            // Said before the identification's wait, so that nobody powers
            // the instrument up only to learn the file is not there.
            const std::string firmwareNotice = form->ShowFirmwareNotice();
            backend.attach(*form);
            out << form->Caption << (options.simulate ? " (simulated instrument: " + options.scenario + ")" : "")
                << '\n'
                << firmwareNotice << '\n';
            // The operator sees whether a device setting took.
            if (!options.simulate && portNumber <= serial::PortSet::comPortCount)
                out << "Port: " << serial::comPortName(portNumber) << " on " << serial::systemPortDevice(portNumber)
                    << '\n';
            form->lboxComPort.Select(portNumber - 1);
            if (form->comNumber != 0 && form->btnUpdate.Enabled() && !application.Terminated())
                form->btnUpdate.Click();
            backend.endProgressLine();

            // One outcome: a stop that came too late to stop anything does
            // not undo a finished, verified update.
            if (form->lblProgress.GetText() == TfrmUpdate::statusComplete) {
                out << "Check value (CRC): " << form->lblCRC.GetText() << '\n'
                    << "Lock " << form->lblLock.GetText() << "  Fuse low " << form->lblFuseLow.GetText()
                    << "  Fuse extended " << form->lblExtFuse.GetText() << "  Fuse high "
                    << form->lblFuseHigh.GetText() << '\n';
                status = exitComplete;
            } else {
                std::string outcome;
                if (const int request = platform::StopRequests::requested()) {
                    outcome = platform::StopRequests::cause(request) + "; the update was stopped";
                    status = exitSignalled + request;
                } else {
                    outcome = "the update did not complete";
                    if (form->IsProgramming())
                        outcome += " (stopped at \"" + form->lblProgress.GetText() + "\")";
                }
                // On standard error too, where the operator's messages went
                // to a pipe that has gone: what the instrument holds must
                // reach someone.
                const std::string holds = form->StopSentence();
                if (!backend.lastMessageEndsWith(holds))
                    outcome += ". " + holds;
                err << "kpx-update: " << outcome << '\n';
            }
            backend.detach();
        }
        out.flush();
    }
    return status;
}
