#include "tests/support/ScriptedOperator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <utility>

namespace testing_support {

namespace {

std::string describe(const ShownMessage& message)
{
    std::ostringstream out;
    switch (message.kind) {
    case ShownMessage::Kind::Box:
        out << "message box \"" << message.text << "\" caption \"" << message.caption << "\" flags "
            << message.flags;
        break;
    case ShownMessage::Kind::Dialog:
        out << "dialog \"" << message.text << "\" (" << message.caption << ") buttons " << message.buttons;
        if (message.position)
            out << " at " << message.position->x << "," << message.position->y;
        break;
    case ShownMessage::Kind::Exception:
        out << "exception \"" << message.text << "\"";
        break;
    }
    return out.str();
}

} // namespace

ScriptedOperator::~ScriptedOperator()
{
    stopObserving();
    for (size_t i = next_; i < script_.size(); ++i)
        ADD_FAILURE() << "expected but never shown: \"" << script_[i].text << "\"";
}

ScriptedOperator& ScriptedOperator::expectBox(std::string text, std::string caption, int flags, int answer,
                                              int times, std::function<void()> during)
{
    Expectation expectation;
    expectation.kind = ShownMessage::Kind::Box;
    expectation.text = std::move(text);
    expectation.caption = std::move(caption);
    expectation.flags = flags;
    expectation.answer = answer;
    expectation.remaining = times;
    expectation.during = std::move(during);
    script_.push_back(std::move(expectation));
    return *this;
}

ScriptedOperator& ScriptedOperator::expectDialog(std::string text, tk::TMsgDlgType kind,
                                                 tk::TMsgDlgButtons buttons,
                                                 std::optional<tk::ScreenPoint> position, int answer, int times)
{
    Expectation expectation;
    expectation.kind = ShownMessage::Kind::Dialog;
    expectation.text = std::move(text);
    expectation.dialogKind = kind;
    expectation.buttons = buttons;
    expectation.position = position;
    expectation.answer = answer;
    expectation.remaining = times;
    script_.push_back(std::move(expectation));
    return *this;
}

ScriptedOperator& ScriptedOperator::expectException(std::string fragment)
{
    Expectation expectation;
    expectation.kind = ShownMessage::Kind::Exception;
    expectation.text = std::move(fragment);
    script_.push_back(std::move(expectation));
    return *this;
}

ScriptedOperator::Expectation* ScriptedOperator::current()
{
    return next_ < script_.size() ? &script_[next_] : nullptr;
}

void ScriptedOperator::consume()
{
    if (--script_[next_].remaining <= 0)
        ++next_;
}

int ScriptedOperator::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    ShownMessage message;
    message.kind = ShownMessage::Kind::Box;
    message.text = text;
    message.caption = caption;
    message.flags = flags;
    message.answer = tk::IDCANCEL;

    Expectation* expected = current();
    if (!expected && responder) {
        message.answer = responder(message);
        shown_.push_back(message);
        return message.answer;
    }
    if (!expected || expected->kind != ShownMessage::Kind::Box || expected->text != text ||
        expected->caption != caption || expected->flags != flags) {
        ADD_FAILURE() << "unexpected " << describe(message)
                      << (expected ? "; expected \"" + expected->text + "\"" : std::string("; script used up"));
        shown_.push_back(message);
        return tk::IDCANCEL;
    }
    message.answer = expected->answer;
    std::function<void()> during = expected->during;
    consume();
    shown_.push_back(message);
    if (during)
        during();
    return message.answer;
}

int ScriptedOperator::MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                                 int helpContext, std::optional<tk::ScreenPoint> position)
{
    ShownMessage message;
    message.kind = ShownMessage::Kind::Dialog;
    message.text = text;
    message.caption = tk::dialogCaption(kind);
    message.dialogKind = kind;
    message.buttons = buttons;
    message.helpContext = helpContext;
    message.position = position;
    message.answer = tk::mrCancel;

    Expectation* expected = current();
    if (!expected && responder) {
        message.answer = responder(message);
        shown_.push_back(message);
        return message.answer;
    }
    const bool samePosition =
        expected && expected->position.has_value() == position.has_value() &&
        (!position || (expected->position->x == position->x && expected->position->y == position->y));
    if (!expected || expected->kind != ShownMessage::Kind::Dialog || expected->text != text ||
        expected->dialogKind != kind || expected->buttons != buttons || !samePosition) {
        ADD_FAILURE() << "unexpected " << describe(message)
                      << (expected ? "; expected \"" + expected->text + "\"" : std::string("; script used up"));
        shown_.push_back(message);
        return tk::mrCancel;
    }
    message.answer = expected->answer;
    consume();
    shown_.push_back(message);
    return message.answer;
}

void ScriptedOperator::ShowException(const std::string& text)
{
    ShownMessage message;
    message.kind = ShownMessage::Kind::Exception;
    message.text = text;
    shown_.push_back(message);

    Expectation* expected = current();
    if (!expected && responder) {
        responder(message);
        return;
    }
    if (!expected || expected->kind != ShownMessage::Kind::Exception ||
        text.find(expected->text) == std::string::npos) {
        ADD_FAILURE() << "unexpected " << describe(message);
        return;
    }
    consume();
}

void ScriptedOperator::ProcessMessages()
{
    ++processCalls_;
    // By index: an action may add triggers.
    for (size_t i = 0; i < triggers_.size(); ++i) {
        Trigger& trigger = triggers_[i];
        if (trigger.fired)
            continue;
        const bool due = trigger.atCall != 0 ? processCalls_ == trigger.atCall : trigger.condition();
        if (!due)
            continue;
        trigger.fired = true;
        std::function<void()> action = trigger.action;
        action();
    }
}

void ScriptedOperator::atProcessMessages(uint64_t n, std::function<void()> action)
{
    Trigger trigger;
    trigger.atCall = processCalls_ + std::max<uint64_t>(n, 1);
    trigger.action = std::move(action);
    triggers_.push_back(std::move(trigger));
}

void ScriptedOperator::when(std::function<bool()> condition, std::function<void()> action)
{
    Trigger trigger;
    trigger.condition = std::move(condition);
    trigger.action = std::move(action);
    triggers_.push_back(std::move(trigger));
}

void ScriptedOperator::Run(tk::TApplication& application)
{
    if (onRun)
        onRun(application);
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
    ControlSnapshot snapshot;
    snapshot.name = control.Name();
    snapshot.text = control.GetText();
    snapshot.visible = control.Visible();
    snapshot.enabled = control.Enabled();
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
    for (const ControlSnapshot& snapshot : snapshots_)
        if (snapshot.name == name && (result.empty() || result.back() != snapshot.position))
            result.push_back(snapshot.position);
    return result;
}

std::vector<std::string> ScriptedOperator::shownTexts() const
{
    std::vector<std::string> texts;
    texts.reserve(shown_.size());
    for (const ShownMessage& message : shown_)
        texts.push_back(message.text);
    return texts;
}

} // namespace testing_support
