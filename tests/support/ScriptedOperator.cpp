#include "tests/support/ScriptedOperator.h"

#include <gtest/gtest.h>

#include <utility>

namespace testing_support {

namespace {

bool matches(const ShownMessage& expected, const ShownMessage& shown)
{
    if (expected.kind != shown.kind)
        return false;
    if (shown.kind == ShownMessage::Kind::Exception)
        return shown.text.find(expected.text) != std::string::npos;
    const auto& a = expected.position;
    const auto& b = shown.position;
    const bool samePosition = a.has_value() == b.has_value() && (!a || (a->x == b->x && a->y == b->y));
    return expected.text == shown.text && expected.caption == shown.caption && expected.flags == shown.flags &&
           expected.dialogKind == shown.dialogKind && expected.buttons == shown.buttons && samePosition;
}

} // namespace

ScriptedOperator::~ScriptedOperator()
{
    stopObserving();
    for (size_t i = next_; i < script_.size(); ++i)
        ADD_FAILURE() << "expected but never shown: \"" << script_[i].message.text << "\"";
}

ScriptedOperator& ScriptedOperator::expectBox(std::string text, std::string caption, int flags, int answer,
                                              int times, std::function<void()> during)
{
    ShownMessage message{ShownMessage::Kind::Box, std::move(text), std::move(caption), flags};
    message.answer = answer;
    script_.push_back({std::move(message), times, std::move(during)});
    return *this;
}

ScriptedOperator& ScriptedOperator::expectDialog(std::string text, tk::TMsgDlgType kind,
                                                 tk::TMsgDlgButtons buttons,
                                                 std::optional<tk::ScreenPoint> position, int answer, int times)
{
    ShownMessage message{ShownMessage::Kind::Dialog, std::move(text), tk::dialogCaption(kind), 0, kind, buttons};
    message.position = position;
    message.answer = answer;
    script_.push_back({std::move(message), times, {}});
    return *this;
}

ScriptedOperator& ScriptedOperator::expectException(std::string fragment)
{
    script_.push_back({{ShownMessage::Kind::Exception, std::move(fragment)}, 1, {}});
    return *this;
}

int ScriptedOperator::answer(ShownMessage message)
{
    message.answer = tk::IDCANCEL; // the same value as tk::mrCancel
    if (scriptDone() && responder) {
        message.answer = responder(message);
    } else if (scriptDone() || !matches(script_[next_].message, message)) {
        ADD_FAILURE() << "unexpected \"" << message.text << "\" caption \"" << message.caption << "\" flags "
                      << message.flags << " buttons " << message.buttons
                      << (scriptDone() ? "; script used up" : "; expected \"" + script_[next_].message.text + "\"");
    } else {
        // Copied first: the action may extend the script.
        const std::function<void()> during = script_[next_].during;
        message.answer = script_[next_].message.answer;
        if (--script_[next_].remaining <= 0)
            ++next_;
        shown_.push_back(message);
        if (during)
            during();
        return message.answer;
    }
    shown_.push_back(message);
    return message.answer;
}

int ScriptedOperator::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    return answer({ShownMessage::Kind::Box, text, caption, flags});
}

int ScriptedOperator::MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                                 int helpContext, std::optional<tk::ScreenPoint> position)
{
    return answer({ShownMessage::Kind::Dialog, text, tk::dialogCaption(kind), 0, kind, buttons, helpContext,
                   position});
}

void ScriptedOperator::ShowException(const std::string& text)
{
    answer({ShownMessage::Kind::Exception, text});
}

void ScriptedOperator::ProcessMessages()
{
    // By index: an action may add triggers.
    for (size_t i = 0; i < triggers_.size(); ++i) {
        if (triggers_[i].fired || !triggers_[i].condition())
            continue;
        triggers_[i].fired = true;
        const std::function<void()> action = triggers_[i].action;
        action();
    }
}

void ScriptedOperator::when(std::function<bool()> condition, std::function<void()> action)
{
    triggers_.push_back({std::move(condition), std::move(action)});
}

void ScriptedOperator::observe(tk::TControl& control)
{
    control.setObserver(this);
    observed_.push_back(&control);
    controlChanged(control);
}

void ScriptedOperator::stopObserving()
{
    for (tk::TControl* control : observed_)
        control->setObserver(nullptr);
    observed_.clear();
}

void ScriptedOperator::controlChanged(tk::TControl& control)
{
    ControlSnapshot snapshot{control.Name(), control.GetText(), control.Visible(), control.Enabled()};
    if (const auto* bar = dynamic_cast<const tk::TProgressBar*>(&control)) {
        snapshot.min = bar->Min();
        snapshot.max = bar->Max();
        snapshot.step = bar->Step();
        snapshot.position = bar->Position();
    }
    snapshots_.push_back(std::move(snapshot));
}

std::vector<ControlSnapshot> ScriptedOperator::history(const std::string& name) const
{
    std::vector<ControlSnapshot> result;
    for (const ControlSnapshot& snapshot : snapshots_)
        if (snapshot.name == name)
            result.push_back(snapshot);
    return result;
}

std::vector<int> ScriptedOperator::positions(const std::string& name) const
{
    std::vector<int> result;
    for (const ControlSnapshot& snapshot : history(name))
        if (result.empty() || result.back() != snapshot.position)
            result.push_back(snapshot.position);
    return result;
}

} // namespace testing_support
