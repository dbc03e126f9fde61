// The link between a headless form and its Qt window: one binding per
// control, each observing its control and forwarding the operator's actions.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/Controls.h"

#include <QObject>

#include <memory>
#include <vector>

class QWidget;

namespace tkqt {

class QtBackend;

class ControlBinding : public QObject, public tk::ControlObserver {
public:
    ControlBinding(QtBackend& backend, tk::TApplication& application, tk::TControl& control);
    ~ControlBinding() override;
    ControlBinding(const ControlBinding&) = delete;
    ControlBinding& operator=(const ControlBinding&) = delete;

    // Shows the control's state in the widget.
    virtual void sync() = 0;
    void controlChanged(tk::TControl&) override { sync(); }

    // The control is gone: nothing may touch it any more.
    void orphan() { control_ = nullptr; }

    // Binds control to the widget or action of its name under window; a
    // binding that only shows visibility and enabling when the kinds do not
    // match; null when window has nothing of that name.
    static std::unique_ptr<ControlBinding> create(QtBackend& backend, tk::TApplication& application,
                                                  tk::TControl& control, QWidget& window);

protected:
    // Runs an operator action on the control as an event handler.
    template <typename Control, typename Action>
    void act(Action action)
    {
        if (!control_)
            return;
        auto* control = static_cast<Control*>(control_);
        dispatch([control, action] { action(*control); });
    }
    void dispatch(const std::function<void()>& action);

    tk::TControl* control_;

private:
    QtBackend& backend_;
    tk::TApplication& application_;
};

class FormBinding : public QObject {
public:
    FormBinding(QtBackend& backend, tk::TForm& form, std::unique_ptr<QWidget> window);
    ~FormBinding() override;
    FormBinding(const FormBinding&) = delete;
    FormBinding& operator=(const FormBinding&) = delete;

    QWidget& window() const { return *window_; }

    // The form is being destroyed: drop every reference to it.
    void orphan();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void close();

    QtBackend& backend_;
    tk::TForm* form_;
    std::unique_ptr<QWidget> window_;
    std::vector<std::unique_ptr<ControlBinding>> controls_;
};

} // namespace tkqt
