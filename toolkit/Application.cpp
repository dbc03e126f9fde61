#include "toolkit/Application.h"

#include "platform/Process.h"
#include "platform/WinHelp.h"

#include <algorithm>
#include <stdexcept>

namespace tk {

const char* dialogCaption(TMsgDlgType kind)
{
    switch (kind) {
    case TMsgDlgType::mtWarning:
        return "Warning";
    case TMsgDlgType::mtError:
        return "Error";
    case TMsgDlgType::mtInformation:
        return "Information";
    case TMsgDlgType::mtConfirmation:
        return "Confirm";
    case TMsgDlgType::mtCustom:
        break;
    }
    return "";
}

TForm::TForm(TApplication& application, const FormDescription& description)
    : Caption(description.caption)
    , application_(application)
    , description_(description)
{
}

void TForm::registerControl(TControl& control)
{
    if (const ControlDescription* described = description_.control(control.Name())) {
        control.SetText(described->text);
        control.SetEnabled(described->enabled);
        control.SetVisible(described->visible);
        if (auto* list = dynamic_cast<TListBox*>(&control))
            list->Items = described->items;
        if (auto* bar = dynamic_cast<TProgressBar*>(&control)) {
            bar->SetMin(std::stoi(described->property("minimum", "0")));
            bar->SetMax(std::stoi(described->property("maximum", "100")));
            bar->SetPosition(std::stoi(described->property("value", "0")));
        }
    } else if (const MenuItemDescription* item = description_.menuItem(control.Name())) {
        control.SetText(item->text);
    } else {
        throw std::logic_error("control " + control.Name() + " is not in the description of " + Name());
    }
    controls_.push_back(&control);
}

TForm::~TForm()
{
    application_.backend().FormDestroyed(*this);
}

TControl* TForm::FindControl(const std::string& name) const
{
    for (TControl* control : controls_)
        if (control->Name() == name)
            return control;
    return nullptr;
}

void TForm::Show()
{
    visible_ = true;
    application_.backend().FormShown(*this);
}

void TForm::Hide()
{
    if (!visible_)
        return;
    visible_ = false;
    application_.backend().FormHidden(*this);
}

void TForm::Close()
{
    bool canClose = true;
    if (OnCloseQuery)
        OnCloseQuery(canClose);
    if (!canClose)
        return;
    TCloseAction action = TCloseAction::caHide;
    if (OnClose)
        OnClose(action);
    if (action == TCloseAction::caNone)
        return;
    if (application_.MainForm() == this) {
        application_.Terminate();
        return;
    }
    if (action == TCloseAction::caHide || action == TCloseAction::caFree)
        Hide();
}

TApplication::TApplication(Backend& backend)
    : backend_(backend)
{
}

TApplication::~TApplication()
{
    DestroyForms();
}

void TApplication::DestroyForms()
{
    // Newest first, so dialogs go before the main window that outlives them.
    while (!forms_.empty()) {
        std::unique_ptr<TForm> form = std::move(forms_.back());
        forms_.pop_back();
        if (activeForm_ == form.get())
            activeForm_ = nullptr;
        if (mainForm_ == form.get())
            mainForm_ = nullptr;
        form.reset();
    }
}

void TApplication::adoptForm(std::unique_ptr<TForm> form)
{
    if (!mainForm_)
        mainForm_ = form.get();
    forms_.push_back(std::move(form));
}

void TApplication::Run()
{
    if (!mainForm_ || terminated_)
        return;
    backend_.get().Run(*this);
}

void TApplication::Terminate()
{
    if (terminated_)
        return;
    terminated_ = true;
    backend_.get().TerminateRequested();
}

void TApplication::ShowException(const std::exception& error)
{
    backend_.get().ShowException(error.what());
}

void TApplication::HandleEvent(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        backend_.get().ShowException("Unknown error");
    }
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    return backend_.get().MessageBox(text, caption, flags);
}

bool TApplication::HelpCommand(uint16_t command, intptr_t data)
{
    bool callHelp = true;
    bool result = false;
    TForm* form = ActiveForm();
    if (form && form->OnHelp)
        result = form->OnHelp(command, data, callHelp);
    else if (OnHelp)
        result = OnHelp(command, data, callHelp);
    if (callHelp) {
        const std::string& file = (form && !form->HelpFile.empty()) ? form->HelpFile : HelpFile;
        result = platform::WinHelpA(0, file.c_str(), command, static_cast<uintptr_t>(data));
    }
    return result;
}

bool TApplication::HelpJump(const std::string& topic)
{
    if (!HelpCommand(HELP_CONTENTS, 0))
        return false;
    const std::string macro = "JumpID(\"\",\"" + topic + "\")";
    return HelpCommand(HELP_COMMAND, reinterpret_cast<intptr_t>(macro.c_str()));
}

int MessageDlg(TApplication& application, const std::string& text, TMsgDlgType kind,
               TMsgDlgButtons buttons, int helpContext)
{
    if (application.Terminated())
        return mrCancel;
    return application.backend().MessageDlg(text, kind, buttons, helpContext, std::nullopt);
}

int MessageDlgPos(TApplication& application, const std::string& text, TMsgDlgType kind,
                  TMsgDlgButtons buttons, int helpContext, int x, int y)
{
    if (application.Terminated())
        return mrCancel;
    return application.backend().MessageDlg(text, kind, buttons, helpContext, ScreenPoint{x, y});
}

namespace {

std::string& programPath()
{
    static std::string path;
    return path;
}

} // namespace

void setProgramPath(const std::string& path)
{
    programPath() = path;
}

std::string ParamStr(int index)
{
    if (index != 0)
        return {};
    if (programPath().empty())
        programPath() = platform::runningProgramPath();
    return programPath();
}

std::string ExtractFilePath(const std::string& path)
{
    const auto slash = path.find_last_of(platform::pathSeparators());
    return slash == std::string::npos ? std::string{} : path.substr(0, slash + 1);
}

} // namespace tk
