#include "tests/gui/ModalScript.h"

#include <QMessageBox>

#include <gtest/gtest.h>

namespace guitest {

ModalScript::ModalScript(tkqt::QtBackend& backend)
    : backend_(backend)
{
    backend_.setModalHook([this](const tkqt::ModalRequest& request) { return answer(request); });
}

ModalScript::~ModalScript()
{
    backend_.setModalHook({});
    for (size_t i = next_; i < steps_.size(); ++i)
        ADD_FAILURE() << "expected box never shown: \"" << steps_[i].text << "\"";
}

ModalScript& ModalScript::expect(std::string text, int answer, std::function<void()> during)
{
    steps_.push_back({std::move(text), answer, std::move(during)});
    return *this;
}

std::optional<int> ModalScript::answer(const tkqt::ModalRequest& request)
{
    shown.push_back({request.kind, request.text, request.caption, request.flags, request.dialogType,
                     request.buttons, request.position, request.box ? request.box->pos() : QPoint()});
    if (next_ >= steps_.size() || steps_[next_].text != request.text) {
        ADD_FAILURE() << "unexpected box: \"" << request.text << "\"";
        return tk::IDCANCEL;
    }
    const Step step = steps_[next_++];
    if (step.during)
        step.during();
    return step.answer;
}

} // namespace guitest
