// The form framework shown with the Win32 API and the common controls: every
// form gets a real window built from its form description, each control a
// native control of its kind bound to it by name, the framework's plain
// message boxes are the system's own and its dialogs (warning, confirmation)
// are drawn here with the button sets they ask for.
//
// The executable's icon resource 1 becomes the windows' icon, and a picture
// property names an RCDATA resource by its file name (":/kpx/logo.png" is
// the resource LOGO.PNG).
#pragma once

#include "platform/Win.h"
#include "toolkit/Application.h"
#include "toolkit/LoopEnd.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tkwin {

class FormWindow;

class Win32Backend final : public tk::Backend {
public:
    // Initialises the common controls and COM for this thread.
    Win32Backend();
    ~Win32Backend() override;
    Win32Backend(const Win32Backend&) = delete;
    Win32Backend& operator=(const Win32Backend&) = delete;

    // Builds the form's window from its description and binds each control
    // of the form to the native control of its name, which shows the
    // control's state from then on and reports the operator's actions to it.
    // Windows of later forms are owned by the first (the main form's), so
    // they stay above it and out of the task bar. The window lives until the
    // form is destroyed.
    void attach(tk::TForm& form);
    platform::HWND window(const tk::TForm& form) const;
    // The native control of that name on the form's window; 0 if none.
    platform::HWND control(const tk::TForm& form, const std::string& name) const;

    // Caption of boxes that have none of their own (exceptions).
    void setTitle(std::string title) { title_ = std::move(title); }

    // Runs what the operator did as an event handler (an exception that
    // escapes is shown). The message loop ends once the last handler of a
    // terminated application has returned.
    void dispatch(tk::TApplication& application, const std::function<void()>& action);

    // The loop has ended for the application's end, or would have, had it
    // been running.
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
    FormWindow* find(const tk::TForm& form) const;
    // Hands a message to the form window it is for, as a dialog would take
    // it (Tab, Enter, Escape, access keys); false when it is for none.
    bool routeToForm(void* message);
    platform::HWND boxOwner() const;

    std::map<const tk::TForm*, std::unique_ptr<FormWindow>> forms_;
    platform::HWND mainWindow_ = 0;
    std::string title_;
    tk::LoopEnd loopEnd_;
    bool comInitialized_ = false;
};

} // namespace tkwin
