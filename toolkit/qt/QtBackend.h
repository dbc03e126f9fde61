// The form framework shown with Qt Widgets: every form gets a real window
// built from its form description (a Designer .ui compiled by uic), each
// control is bound to the widget of the same object name, and the
// framework's modal boxes become QMessageBoxes.
#pragma once

#include "toolkit/Application.h"
#include "toolkit/LoopEnd.h"

#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QMessageBox;
class QWidget;

namespace tkqt {

class FormBinding;

// A modal box about to be shown: what the program asked for, and the box
// built for it (positioned, not yet shown).
struct ModalRequest {
    enum class Kind { MessageBox, MessageDlg, Exception };
    Kind kind = Kind::MessageBox;
    std::string text;
    std::string caption;
    int flags = 0;                                          // MessageBox
    tk::TMsgDlgType dialogType = tk::TMsgDlgType::mtCustom; // MessageDlg
    tk::TMsgDlgButtons buttons = 0;                         // MessageDlg
    std::optional<tk::ScreenPoint> position;                // MessageDlg
    QMessageBox* box = nullptr;
};

// Answers a box instead of the operator (tests, scripted runs): returns the
// answer (IDOK/IDCANCEL/IDRETRY for a message box, mrYes/mrNo/mrCancel for a
// dialog), or nothing to let the box run as usual.
using ModalHook = std::function<std::optional<int>(const ModalRequest&)>;

class QtBackend final : public tk::Backend {
public:
    // Needs a QApplication.
    QtBackend();
    ~QtBackend() override;
    QtBackend(const QtBackend&) = delete;
    QtBackend& operator=(const QtBackend&) = delete;

    // Gives form its window. The window's design properties are applied
    // (position, fixed client size, border, fonts, first focus), each control
    // of the form is bound to the widget or action of its name and shows the
    // control's current state, and from then on the operator's actions reach
    // the controls as events. The window lives until the form is destroyed.
    void attach(tk::TForm& form, std::unique_ptr<QWidget> window);
    QWidget* window(const tk::TForm& form) const;

    void setModalHook(ModalHook hook) { hook_ = std::move(hook); }

    // Caption of boxes that have none of their own (exceptions). Not the
    // platform's application display name: that would be appended to every
    // window's caption.
    void setTitle(const QString& title) { title_ = title; }

    // Runs an operator action the way the toolkit runs event handlers: an
    // escaping exception is shown and the program goes on. When the
    // outermost action returns to a terminated application, the message loop
    // ends.
    void dispatch(tk::TApplication& application, const std::function<void()>& action);

    // The application asked to end and control has come back to the message
    // loop (or would have, had one been running).
    bool quitReached() const { return loopEnd_.reached(); }

    // tk::Backend
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    int MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons, int helpContext,
                   std::optional<tk::ScreenPoint> position) override;
    void ProcessMessages() override;
    void ShowException(const std::string& message) override;
    void Run(tk::TApplication& application) override;
    void FormShown(tk::TForm& form) override;
    void FormHidden(tk::TForm& form) override;
    void TerminateRequested() override;
    void FormDestroyed(tk::TForm& form) override;

private:
    std::optional<int> askHook(ModalRequest& request);
    QWidget* boxParent() const;

    std::map<const tk::TForm*, std::unique_ptr<FormBinding>> forms_;
    ModalHook hook_;
    QString title_;
    tk::LoopEnd loopEnd_;
    // Receiver of queued calls; they die with the backend.
    QObject context_;
};

} // namespace tkqt
