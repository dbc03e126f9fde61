// A test operator: a tk::Backend that answers every message box and toolkit
// dialog from a script, records what was shown, runs test actions at message
// processing (where a real operator's clicks would be handled), and records
// an observed progress bar's positions.
//
// A message that the script does not expect fails the test and is answered
// with Cancel, so a procedure that goes astray ends quickly.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/Controls.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ShownMessage {
    enum class Kind { Box, Dialog, Exception };
    Kind kind = Kind::Box;
    std::string text{};
    // Box: the caption given; dialog: the toolkit's caption of its kind.
    std::string caption{};
    int flags = 0; // box
    tk::TMsgDlgType dialogKind = tk::TMsgDlgType::mtCustom;
    tk::TMsgDlgButtons buttons = 0;
    std::optional<tk::ScreenPoint> position{};
    int answer = 0;
};

class ScriptedOperator : public tk::Backend, public tk::ControlObserver {
public:
    ScriptedOperator() = default;
    // Fails the test when expected messages were never shown.
    ~ScriptedOperator() override;
    ScriptedOperator(const ScriptedOperator&) = delete;
    ScriptedOperator& operator=(const ScriptedOperator&) = delete;

    // The script, answered in order. A message box with exactly this text,
    // caption and flags, `times` times in a row; `during` runs while it is
    // shown, before the answer (the operator acting in another window).
    ScriptedOperator& expectBox(std::string text, std::string caption, int flags, int answer, int times = 1,
                                std::function<void()> during = {});
    // A toolkit dialog; position nullopt expects a centred one.
    ScriptedOperator& expectDialog(std::string text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                                   std::optional<tk::ScreenPoint> position, int answer, int times = 1);
    // An exception shown by the toolkit whose text contains `fragment`.
    ScriptedOperator& expectException(std::string fragment);

    // Answers every message that comes after the script is used up, instead
    // of failing the test: for runs whose messages are not known in advance.
    std::function<int(const ShownMessage&)> responder;

    // Runs action once, at the first ProcessMessages call where condition
    // holds.
    void when(std::function<bool()> condition, std::function<void()> action);

    // Records a progress bar's positions until stopObserving.
    void observe(tk::TProgressBar& bar);
    void stopObserving();
    // Its positions, consecutive repeats folded.
    const std::vector<int>& positions() const { return positions_; }

    const std::vector<ShownMessage>& shown() const { return shown_; }
    bool terminateRequested() const { return terminateRequested_; }

    // tk::Backend
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    int MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons, int helpContext,
                   std::optional<tk::ScreenPoint> position) override;
    void ProcessMessages() override;
    void ShowException(const std::string& message) override;
    void Run(tk::TApplication&) override {}
    void FormShown(tk::TForm&) override {}
    void FormHidden(tk::TForm&) override {}
    void TerminateRequested() override { terminateRequested_ = true; }

    // tk::ControlObserver
    void controlChanged(tk::TControl& control) override;

private:
    struct Expectation {
        ShownMessage message; // for an exception, text is a fragment
        int remaining = 1;
        std::function<void()> during;
    };
    struct Trigger {
        std::function<bool()> condition;
        std::function<void()> action;
        bool fired = false;
    };

    // Checks a message against the script and answers it.
    int answer(ShownMessage message);

    std::vector<Expectation> script_;
    size_t next_ = 0;
    std::vector<Trigger> triggers_;
    std::vector<ShownMessage> shown_;
    std::vector<int> positions_;
    tk::TProgressBar* observed_ = nullptr;
    bool terminateRequested_ = false;
};

} // namespace testing_support
