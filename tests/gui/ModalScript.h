// Answers the Qt backend's modal boxes from a script, in order, and records
// every box shown with where it was placed.
#pragma once

#include "toolkit/qt/QtBackend.h"

#include <QPoint>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace guitest {

struct ShownBox {
    tkqt::ModalRequest::Kind kind;
    std::string text;
    std::string caption;
    int flags = 0;
    tk::TMsgDlgType dialogType = tk::TMsgDlgType::mtCustom;
    tk::TMsgDlgButtons buttons = 0;
    std::optional<tk::ScreenPoint> position;
    QPoint placedAt;
};

class ModalScript {
public:
    explicit ModalScript(tkqt::QtBackend& backend);
    // Fails the test when expected boxes were never shown.
    ~ModalScript();
    ModalScript(const ModalScript&) = delete;
    ModalScript& operator=(const ModalScript&) = delete;

    // The next box must have this text; it is answered with answer, after
    // during has run (the operator doing something else meanwhile).
    ModalScript& expect(std::string text, int answer, std::function<void()> during = {});

    // Boxes nobody expected fail the test and are answered with Cancel.
    std::vector<ShownBox> shown;
    bool done() const { return next_ == steps_.size(); }

private:
    struct Step {
        std::string text;
        int answer;
        std::function<void()> during;
    };
    std::optional<int> answer(const tkqt::ModalRequest& request);

    tkqt::QtBackend& backend_;
    std::vector<Step> steps_;
    size_t next_ = 0;
};

} // namespace guitest
