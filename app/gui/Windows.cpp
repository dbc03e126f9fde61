#include "app/gui/Windows.h"

#include "app/UI.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "toolkit/qt/QtBackend.h"

#include "ui_UI.h"
#include "ui_about.h"
#include "ui_download.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QProgressBar>
#include <QTextStream>

namespace gui {

namespace {

template <typename Form, typename Window>
std::unique_ptr<QWidget> build()
{
    auto window = std::make_unique<Window>();
    Form form;
    form.setupUi(window.get());
    return window;
}

// What the widget shows in writing, on one line.
QString shownText(const QWidget& widget)
{
    QString text;
    if (const auto* label = qobject_cast<const QLabel*>(&widget))
        text = label->text();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(&widget))
        text = button->text();
    else if (const auto* list = qobject_cast<const QListWidget*>(&widget))
        for (int row = 0; row < list->count(); ++row)
            text += (row ? QStringLiteral("|") : QString()) + list->item(row)->text();
    else if (qobject_cast<const QProgressBar*>(&widget))
        text = QStringLiteral("(bar)");
    return text.replace(QLatin1Char('\n'), QLatin1Char(' '));
}

} // namespace

std::unique_ptr<QWidget> buildMainWindow()
{
    return build<Ui::frmUpdate, QMainWindow>();
}

std::unique_ptr<QWidget> buildAboutBox()
{
    return build<Ui::AboutBox, QDialog>();
}

std::unique_ptr<QWidget> buildPagesDlg()
{
    return build<Ui::PagesDlg, QDialog>();
}

void attach(tkqt::QtBackend& backend, TfrmUpdate& form)
{
    backend.attach(form, buildMainWindow());
}

void attach(tkqt::QtBackend& backend, TAboutBox& form)
{
    backend.attach(form, buildAboutBox());
}

void attach(tkqt::QtBackend& backend, TPagesDlg& form)
{
    backend.attach(form, buildPagesDlg());
}

void dumpWidgets(const QWidget& window, QTextStream& out)
{
    const auto* main = qobject_cast<const QMainWindow*>(&window);
    const QWidget& client = main && main->centralWidget() ? *main->centralWidget() : window;
    out << "window " << window.width() << ' ' << window.height() << ' ' << client.width() << ' '
        << client.height() << '\n';
    for (const QWidget* widget : client.findChildren<QWidget*>()) {
        const QString name = widget->objectName();
        // Qt's own parts (viewports, scroll bars) carry names starting "qt_".
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        const QPoint at = widget->mapTo(&client, QPoint(0, 0));
        out << name << ' ' << widget->metaObject()->className() << ' ' << at.x() << ' ' << at.y() << ' '
            << widget->width() << ' ' << widget->height() << ' ' << (widget->isVisibleTo(&window) ? 1 : 0) << ' '
            << shownText(*widget) << '\n';
    }
}

} // namespace gui
