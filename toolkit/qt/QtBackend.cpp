#include "toolkit/qt/QtBackend.h"

#include "toolkit/qt/Binding.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWidget>

namespace tkqt {

namespace {

QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}

// Our texts break lines the Windows way; a label shows a lone CR as a glyph.
QString displayText(const std::string& text)
{
    QString result = qs(text);
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

// A message box centred on the screen, or with its top-left corner at a
// given point. QMessageBox only knows its final size once it is shown.
class PlacedMessageBox final : public QMessageBox {
public:
    PlacedMessageBox(QWidget* parent, std::optional<tk::ScreenPoint> topLeft)
        : QMessageBox(parent)
        , topLeft_(topLeft)
    {
        setTextFormat(Qt::PlainText);
        place();
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        QMessageBox::showEvent(event);
        place();
    }

private:
    void place()
    {
        if (topLeft_) {
            move(topLeft_->x, topLeft_->y);
            return;
        }
        if (const QScreen* screen = this->screen())
            move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
    }

    std::optional<tk::ScreenPoint> topLeft_;
};

QMessageBox::Icon iconOfFlags(int flags)
{
    switch (flags & 0xF0) {
    case 0x10:
        return QMessageBox::Critical;
    case 0x20:
        return QMessageBox::Question;
    case 0x30:
        return QMessageBox::Warning;
    case 0x40:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::Icon iconOfKind(tk::TMsgDlgType kind)
{
    switch (kind) {
    case tk::TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case tk::TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case tk::TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case tk::TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    case tk::TMsgDlgType::mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QtBackend::QtBackend()
    : loopEnd_([] { QCoreApplication::exit(0); })
{
    // The program ends through the application object only; hiding the
    // last visible dialog must not end it behind the forms' backs.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

QtBackend::~QtBackend() = default;

void QtBackend::attach(tk::TForm& form, std::unique_ptr<QWidget> window)
{
    forms_.erase(&form);
    forms_[&form] = std::make_unique<FormBinding>(*this, form, std::move(window));
    if (form.Visible())
        FormShown(form);
}

QWidget* QtBackend::window(const tk::TForm& form) const
{
    const auto found = forms_.find(&form);
    return found == forms_.end() ? nullptr : &found->second->window();
}

void QtBackend::dispatch(tk::TApplication& application, const std::function<void()>& action)
{
    loopEnd_.dispatch(application, action);
}

std::optional<int> QtBackend::askHook(ModalRequest& request)
{
    if (!hook_)
        return std::nullopt;
    // The hook may run further events, and so replace itself; keep the one
    // being asked alive until it returns.
    const ModalHook hook = hook_;
    return hook(request);
}

QWidget* QtBackend::boxParent() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

int QtBackend::MessageBox(const std::string& text, const std::string& caption, int flags)
{
    PlacedMessageBox box(boxParent(), std::nullopt);
    box.setWindowTitle(qs(caption));
    box.setText(displayText(text));
    box.setIcon(iconOfFlags(flags));

    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QPushButton* retry = nullptr;
    switch (flags & 0x0F) {
    case tk::MB_OKCANCEL:
        ok = box.addButton(QMessageBox::Ok);
        cancel = box.addButton(QMessageBox::Cancel);
        break;
    case tk::MB_RETRYCANCEL:
        retry = box.addButton(QMessageBox::Retry);
        cancel = box.addButton(QMessageBox::Cancel);
        break;
    default:
        ok = box.addButton(QMessageBox::Ok);
        break;
    }
    box.setDefaultButton(retry ? retry : ok);
    // Escape and the close box answer Cancel where there is one.
    box.setEscapeButton(cancel ? cancel : ok);

    ModalRequest request;
    request.kind = ModalRequest::Kind::MessageBox;
    request.text = text;
    request.caption = caption;
    request.flags = flags;
    request.box = &box;
    if (const auto answer = askHook(request))
        return *answer;

    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    if (retry && clicked == retry)
        return tk::IDRETRY;
    if (ok && clicked == ok)
        return tk::IDOK;
    return cancel ? tk::IDCANCEL : tk::IDOK;
}

int QtBackend::MessageDlg(const std::string& text, tk::TMsgDlgType kind, tk::TMsgDlgButtons buttons,
                          int /*helpContext*/, std::optional<tk::ScreenPoint> position)
{
    PlacedMessageBox box(boxParent(), position);
    const char* caption = tk::dialogCaption(kind);
    box.setWindowTitle(*caption ? QString::fromLatin1(caption) : title_);
    box.setText(displayText(text));
    box.setIcon(iconOfKind(kind));

    struct Choice {
        tk::TMsgDlgBtn flag;
        QMessageBox::StandardButton button;
        int answer;
    };
    static constexpr Choice choices[] = {
        {tk::mbYes, QMessageBox::Yes, tk::mrYes},
        {tk::mbNo, QMessageBox::No, tk::mrNo},
        {tk::mbOK, QMessageBox::Ok, tk::mrOk},
        {tk::mbCancel, QMessageBox::Cancel, tk::mrCancel},
    };
    std::vector<std::pair<QPushButton*, int>> answers;
    for (const Choice& choice : choices)
        if (buttons & choice.flag)
            answers.emplace_back(box.addButton(choice.button), choice.answer);
    if (answers.empty())
        answers.emplace_back(box.addButton(QMessageBox::Ok), tk::mrOk);

    const auto find = [&](int answer) -> QPushButton* {
        for (const auto& [button, value] : answers)
            if (value == answer)
                return button;
        return nullptr;
    };
    QPushButton* defaultButton = find(tk::mrOk);
    if (!defaultButton)
        defaultButton = find(tk::mrYes);
    if (defaultButton)
        box.setDefaultButton(defaultButton);
    QPushButton* escape = find(tk::mrCancel);
    if (!escape)
        escape = find(tk::mrNo);
    if (!escape)
        escape = find(tk::mrOk);
    box.setEscapeButton(escape);

    ModalRequest request;
    request.kind = ModalRequest::Kind::MessageDlg;
    request.text = text;
    request.caption = box.windowTitle().toStdString();
    request.dialogType = kind;
    request.buttons = buttons;
    request.position = position;
    request.box = &box;
    if (const auto answer = askHook(request))
        return *answer;

    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    for (const auto& [button, value] : answers)
        if (button == clicked)
            return value;
    return tk::mrCancel;
}

void QtBackend::ProcessMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtBackend::ShowException(const std::string& message)
{
    PlacedMessageBox box(boxParent(), std::nullopt);
    box.setWindowTitle(title_);
    box.setText(displayText(message));
    box.setIcon(QMessageBox::Critical);
    box.setEscapeButton(box.addButton(QMessageBox::Ok));

    ModalRequest request;
    request.kind = ModalRequest::Kind::Exception;
    request.text = message;
    request.caption = box.windowTitle().toStdString();
    request.flags = tk::MB_OK;
    request.box = &box;
    if (askHook(request))
        return;
    box.exec();
}

void QtBackend::Run(tk::TApplication& application)
{
    tk::TForm* main = application.MainForm();
    if (!main || !window(*main))
        return;
    main->Show();
    loopEnd_.run([] { QApplication::exec(); });
}

void QtBackend::FormShown(tk::TForm& form)
{
    QWidget* shown = window(form);
    if (!shown)
        return;
    if (shown->isMinimized())
        shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void QtBackend::FormHidden(tk::TForm& form)
{
    if (QWidget* hidden = window(form))
        hidden->hide();
}

void QtBackend::TerminateRequested()
{
    loopEnd_.request();
    // Outside any handler (a start-up step, a timer) the loop may not have
    // control yet: look again once it has.
    if (loopEnd_.idle())
        QMetaObject::invokeMethod(&context_, [this] { loopEnd_.quitIfIdle(); }, Qt::QueuedConnection);
}

void QtBackend::FormDestroyed(tk::TForm& form)
{
    const auto found = forms_.find(&form);
    if (found == forms_.end())
        return;
    found->second->orphan();
    forms_.erase(found);
}

} // namespace tkqt
