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
    ShownMessage message{ShownMessage::Kind::Dialog, std::move(text), tk::dialogCaption(kind), 0, kind, buttons,
                         position, answer};
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
    const bool done = next_ >= script_.size();
    std::function<void()> during; // copied first: it may extend the script
    message.answer = tk::IDCANCEL; // the same value as tk::mrCancel
    if (done && responder) {
        message.answer = responder(message);
    } else if (done || !matches(script_[next_].message, message)) {
        ADD_FAILURE() << "unexpected \"" << message.text << "\" caption \"" << message.caption << "\" flags "
                      << message.flags << " buttons " << message.buttons
                      << (done ? "; script used up" : "; expected \"" + script_[next_].message.text + "\"");
    } else {
        during = script_[next_].during;
        message.answer = script_[next_].message.answer;
        if (--script_[next_].remaining <= 0)
            ++next_;
    }
    shown_.push_back(message);
    if (during)
        during();
    return message.answer;
}

int ScriptedOperator::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    return answer({ShownMessage::Kind::Box, text, caption, flags});
}

int ScriptedOperator::MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                                 int, std::optional<tk::ScreenPoint> position)
{
    return answer({ShownMessage::Kind::Dialog, text, tk::dialogCaption(kind), 0, kind, buttons, position});
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

void ScriptedOperator::observe(tk::TProgressBar& bar)
{
    bar.setObserver(this);
    observed_ = &bar;
    controlChanged(bar);
}

void ScriptedOperator::stopObserving()
{
    if (observed_)
        observed_->setObserver(nullptr);
    observed_ = nullptr;
}

void ScriptedOperator::controlChanged(tk::TControl&)
{
    if (positions_.empty() || positions_.back() != observed_->Position())
        positions_.push_back(observed_->Position());
}

} // namespace testing_support
