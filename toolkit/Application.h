// The application object and forms of our small form framework. The logic
// of every window is written against these; the operator interface behind
// them is a Backend: the Qt widgets, the console, or a test script.
#pragma once

#include "toolkit/Controls.h"
#include "toolkit/FormDescription.h"
#include "toolkit/Types.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tk {

class TApplication;
class TForm;

struct ScreenPoint {
    int x;
    int y;
};

// What a front end supplies. Every call comes from the one UI thread.
class Backend {
public:
    virtual ~Backend() = default;

    // System message box; returns IDOK, IDCANCEL or IDRETRY.
    virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;

    // Toolkit dialog: caption and icon come from the kind; centred on the
    // screen unless a position for its top-left corner is given. Returns
    // mrYes, mrNo, mrOk or mrCancel.
    virtual int MessageDlg(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                           int helpContext, std::optional<ScreenPoint> position) = 0;

    // Runs every pending window message, then returns.
    virtual void ProcessMessages() = 0;

    // Reports an exception with its own text in a message box.
    virtual void ShowException(const std::string& message) = 0;

    // Shows the main form and runs the message loop until the application
    // is terminated.
    virtual void Run(TApplication& application) = 0;

    // Window state changes the front end must reflect.
    virtual void FormShown(TForm& form) = 0;   // shown and brought to the front
    virtual void FormHidden(TForm& form) = 0;

    // The application has been asked to end: the message loop should end
    // as soon as control returns to it.
    virtual void TerminateRequested() {}

    // The form is being destroyed (its controls already are): a front end
    // drops its window and everything that points at the form.
    virtual void FormDestroyed(TForm& /*form*/) {}
};

// Answers of the toolkit's dialog kinds, for front ends that draw their own.
const char* dialogCaption(TMsgDlgType kind);

class TForm {
public:
    // The form is named and captioned as its description says; each control
    // registered later starts in the state the description gives it.
    TForm(TApplication& application, const FormDescription& description);
    virtual ~TForm();
    TForm(const TForm&) = delete;
    TForm& operator=(const TForm&) = delete;

    const std::string& Name() const { return description_.name; }
    const FormDescription& Description() const { return description_; }
    TApplication& Application() const { return application_; }

    std::string Caption;
    // The form's own help file; empty means the application's.
    std::string HelpFile;
    // The form's help handler slot: when set, requests made while this form
    // is active reach it instead of the application's handler.
    THelpEvent OnHelp;

    bool Visible() const { return visible_; }

    // Shows the form without making it modal, or brings it to the front
    // when it is already shown.
    void Show();
    void Hide();

    // Runs the close query and the close handler. On the main form any
    // action but caNone ends the application; on other forms a close hides.
    void Close();

    std::function<void(bool& canClose)> OnCloseQuery;
    std::function<void(TCloseAction& action)> OnClose;

    // Controls registered by the form, for front ends that bind by name.
    const std::vector<TControl*>& Controls() const { return controls_; }
    TControl* FindControl(const std::string& name) const;

protected:
    // Makes the control known to front ends and gives it the text and state
    // its description holds. A control the description lacks is a build
    // mistake: std::logic_error.
    void registerControl(TControl& control);

private:
    TApplication& application_;
    const FormDescription& description_;
    bool visible_ = false;
    std::vector<TControl*> controls_;
};

class TApplication {
public:
    explicit TApplication(Backend& backend);
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    Backend& backend() const { return backend_; }
    void setBackend(Backend& backend) { backend_ = backend; }

    void Initialize() {}

    // Takes ownership of a created form; the first becomes the main form.
    template <typename Form, typename... Args>
    Form& CreateForm(Args&&... args)
    {
        auto form = std::make_unique<Form>(*this, std::forward<Args>(args)...);
        Form& ref = *form;
        adoptForm(std::move(form));
        return ref;
    }

    TForm* MainForm() const { return mainForm_; }

    void Run();
    void ProcessMessages() { backend_.get().ProcessMessages(); }
    void Terminate();
    bool Terminated() const { return terminated_; }

    void ShowException(const std::exception& error);
    // Runs an event handler as the toolkit does: an exception that escapes
    // it is shown and the program goes on.
    void HandleEvent(const std::function<void()>& handler);

    int MessageBox(const std::string& text, const std::string& caption, int flags);

    // The form that has the focus, for help requests; the main form unless
    // a front end says otherwise.
    TForm* ActiveForm() const { return activeForm_ ? activeForm_ : mainForm_; }
    void setActiveForm(TForm* form) { activeForm_ = form; }

    // Help dispatch.
    std::string HelpFile;
    THelpEvent OnHelp;
    bool HelpCommand(uint16_t command, intptr_t data);
    bool HelpJump(const std::string& topic);

    // Destroys the forms, newest first (done by the destructor too).
    void DestroyForms();

private:
    void adoptForm(std::unique_ptr<TForm> form);

    std::reference_wrapper<Backend> backend_;
    std::vector<std::unique_ptr<TForm>> forms_;
    TForm* mainForm_ = nullptr;
    TForm* activeForm_ = nullptr;
    bool terminated_ = false;
};

// Toolkit dialogs. Once the application has been asked to terminate they end
// at once with mrCancel, before the operator can answer.
int MessageDlg(TApplication& application, const std::string& text, TMsgDlgType kind,
               TMsgDlgButtons buttons, int helpContext);
int MessageDlgPos(TApplication& application, const std::string& text, TMsgDlgType kind,
                  TMsgDlgButtons buttons, int helpContext, int x, int y);

// Full path of the running executable (argument 0), and the folder part of a
// path including its final separator.
std::string ParamStr(int index);
void setProgramPath(const std::string& path);
std::string ExtractFilePath(const std::string& path);

} // namespace tk
