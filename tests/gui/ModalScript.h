// Answers the Qt backend's modal boxes from a script, in order, and records
// every box shown with where it was placed.
#pragma once

#include "toolkit/qt/QtBackend.h"

#include <QMessageBox>
#include <QPoint>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace guitest {

struct ShownBox {
    std::string text;
    std::string caption;
    tk::TMsgDlgType dialogType = tk::TMsgDlgType::mtCustom;
    tk::TMsgDlgButtons buttons = 0;
    QPoint placedAt; // where the backend put the box
};

class ModalScript {
public:
    explicit ModalScript(tkqt::QtBackend& backend)
        : backend_(backend)
    {
        backend_.setModalHook([this](const tkqt::ModalRequest& request) { return answer(request); });
    }
    // Fails the test when expected boxes were never shown.
    ~ModalScript()
    {
        backend_.setModalHook({});
        for (size_t i = next_; i < steps_.size(); ++i)
            ADD_FAILURE() << "expected box never shown: \"" << steps_[i].text << "\"";
    }
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // The next box must have this text; it is answered with answer, after
    // during has run (the operator doing something else meanwhile).
    ModalScript& expect(std::string text, int answer, std::function<void()> during = {})
    {
        steps_.push_back({std::move(text), answer, std::move(during)});
        return *this;
    }
    bool done() const { return next_ == steps_.size(); }

    // Boxes nobody expected fail the test and are answered with Cancel.
    std::vector<ShownBox> shown;

private:
    struct Step {
        std::string text;
        int answer;
        std::function<void()> during;
    };
    std::optional<int> answer(const tkqt::ModalRequest& request)
    {
        shown.push_back(
            {request.text, request.caption, request.dialogType, request.buttons, request.box ? request.box->pos() : QPoint()});
        if (next_ >= steps_.size() || steps_[next_].text != request.text) {
            ADD_FAILURE() << "unexpected box: \"" << request.text << "\"";
            return tk::IDCANCEL;
        }
        const Step step = steps_[next_++];
        if (step.during)
            step.during();
        return step.answer;
    }

    tkqt::QtBackend& backend_;
    std::vector<Step> steps_;
    size_t next_ = 0;
};

} // namespace guitest
