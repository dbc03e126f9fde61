// The form descriptions (.ui) against the headless forms: the same controls
// under the same names, with the same texts and initial states, and the
// windows built from them where the forms were designed to be.
#include "app/UI.h"
#include "app/gui/Windows.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "sim/Atmega128.h"
#include "sim/SimComPort.h"
#include "tests/gui/ModalScript.h"
#include "toolkit/qt/QtBackend.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <set>

namespace {

std::string text(const QString& s)
{
    return s.toStdString();
}

// Every control of form has its widget or action in window, agreeing in
// text and initial state; every named part of window is a control or one of
// the form's decorations. Controls in shownInDescription are hidden by the
// form's constructor although the description shows them.
void expectAgreement(const tk::TForm& form, const QWidget& window, const std::set<std::string>& decorations,
                     const std::set<std::string>& shownInDescription = {})
{
    EXPECT_EQ(text(window.windowTitle()), form.Caption);
    std::set<std::string> controls;
    for (const tk::TControl* control : form.Controls()) {
        const std::string& name = control->Name();
        controls.insert(name);
        SCOPED_TRACE(name);
        const QString qname = QString::fromStdString(name);
        if (dynamic_cast<const tk::TMenuItem*>(control)) {
            const QAction* action = window.findChild<QAction*>(qname);
            if (!action)
                if (const QMenu* menu = window.findChild<QMenu*>(qname))
                    action = menu->menuAction();
            ASSERT_NE(action, nullptr);
            EXPECT_EQ(text(action->text()), control->GetText());
            EXPECT_EQ(action->isEnabled(), control->Enabled());
            continue;
        }
        const QWidget* widget = window.findChild<QWidget*>(qname);
        ASSERT_NE(widget, nullptr);
        if (const auto* label = qobject_cast<const QLabel*>(widget)) {
            EXPECT_EQ(text(label->text()), control->GetText());
        } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
            EXPECT_EQ(text(button->text()), control->GetText());
        } else if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
            const auto& box = dynamic_cast<const tk::TListBox&>(*control);
            ASSERT_EQ(static_cast<size_t>(list->count()), box.Items.size());
            for (int row = 0; row < list->count(); ++row)
                EXPECT_EQ(text(list->item(row)->text()), box.Items[static_cast<size_t>(row)]);
            EXPECT_EQ(list->currentRow(), box.GetItemIndex());
        } else if (const auto* bar = qobject_cast<const QProgressBar*>(widget)) {
            const auto& progress = dynamic_cast<const tk::TProgressBar&>(*control);
            EXPECT_EQ(bar->minimum(), progress.Min());
            EXPECT_EQ(bar->maximum(), progress.Max());
            EXPECT_EQ(bar->value(), progress.Position());
        } else {
            ADD_FAILURE() << "unexpected widget kind " << widget->metaObject()->className();
        }
        EXPECT_EQ(widget->isEnabled(), control->Enabled());
        const bool shownByDescription = shownInDescription.count(name) > 0;
        EXPECT_EQ(!widget->isHidden(), control->Visible() || shownByDescription);
    }

    for (const QObject* part : window.findChildren<QObject*>()) {
        const std::string name = text(part->objectName());
        if (name.empty() || name.rfind("qt_", 0) == 0 || !(part->isWidgetType() || qobject_cast<const QAction*>(part)))
            continue;
        EXPECT_TRUE(controls.count(name) || decorations.count(name)) << "stray part " << name;
    }
}

class FormDescriptionTest : public ::testing::Test {
protected:
    sim::Atmega128 device;
    tkqt::QtBackend backend;
    // Nothing here may ask the operator anything.
    guitest::ModalScript script{backend};
    tk::TApplication application{backend};
};

TEST_F(FormDescriptionTest, MainWindowAgreesWithTheForm)
{
    auto& form = application.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(device));
    const auto window = gui::buildMainWindow();
    expectAgreement(form, *window, {"centralwidget", "MainMenu1"}, {"lblLock", "lblExtFuse"});
}

TEST_F(FormDescriptionTest, DialogsAgreeWithTheirForms)
{
    expectAgreement(application.CreateForm<TAboutBox>(), *gui::buildAboutBox(), {"Panel1", "ProgramIcon"});
    expectAgreement(application.CreateForm<TPagesDlg>(), *gui::buildPagesDlg(), {"Panel2"});
}

// The bound windows: placed, sized and lettered as designed.
TEST_F(FormDescriptionTest, WindowsAreWhereTheyWereDesigned)
{
    auto& main = application.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(device));
    auto& about = application.CreateForm<TAboutBox>();
    auto& pages = application.CreateForm<TPagesDlg>();
    gui::attach(backend, main);
    gui::attach(backend, about);
    gui::attach(backend, pages);

    auto* window = qobject_cast<QMainWindow*>(backend.window(main));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->pos(), QPoint(-4, -4));
    EXPECT_EQ(window->centralWidget()->size(), QSize(342, 167));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);

    struct Placed {
        const char* name;
        QRect geometry;
    };
    for (const Placed& placed : {Placed{"lboxComPort", {19, 11, 43, 61}}, Placed{"btnUpdate", {104, 10, 191, 35}},
                                 Placed{"ProgressBar", {32, 112, 265, 23}}}) {
        const QWidget* control = window->findChild<QWidget*>(placed.name);
        EXPECT_EQ(control->geometry(), placed.geometry) << placed.name;
    }
    const auto labelAt = [&](const char* name) { return window->findChild<QLabel*>(name)->pos(); };
    EXPECT_EQ(labelAt("lblText"), QPoint(224, 54));
    EXPECT_EQ(labelAt("lblCRC"), QPoint(261, 54));
    EXPECT_EQ(labelAt("lblProgress"), QPoint(11, 90));
    EXPECT_EQ(labelAt("lblExtFuse"), QPoint(288, 136));
    // 10 pt and 8 pt as on a 96 dpi screen.
    EXPECT_EQ(window->findChild<QWidget*>("btnUpdate")->font().pixelSize(), 13);
    EXPECT_EQ(window->findChild<QWidget*>("lblFuseLow")->font().pixelSize(), 11);
    const auto* list = window->findChild<QListWidget*>("lboxComPort");
    EXPECT_EQ(list->visualItemRect(list->item(1)).height(), 13);

    QWidget* aboutWindow = backend.window(about);
    EXPECT_EQ(aboutWindow->pos(), QPoint(224, 208));
    EXPECT_EQ(aboutWindow->size(), QSize(298, 158));
    EXPECT_EQ(aboutWindow->minimumSize(), aboutWindow->maximumSize());
    const auto* logo = aboutWindow->findChild<QLabel*>("ProgramIcon");
    EXPECT_EQ(logo->pixmap().size(), QSize(359, 180));
    EXPECT_TRUE(logo->hasScaledContents());

    QWidget* pagesWindow = backend.window(pages);
    EXPECT_EQ(pagesWindow->pos(), QPoint(261, 376));
    EXPECT_EQ(pagesWindow->size(), QSize(489, 214));
    const int tops[] = {8, 34, 59, 85, 111, 136, 160};
    for (int line = 1; line <= 7; ++line) {
        const auto* label = pagesWindow->findChild<QLabel*>(QStringLiteral("StaticText%1").arg(line));
        EXPECT_EQ(label->pos(), QPoint(0, tops[line - 1])) << line;
        EXPECT_EQ(label->font().pixelSize(), 11) << line;
    }
    EXPECT_EQ(pagesWindow->findChild<QWidget*>("OKBtn")->mapTo(pagesWindow, QPoint(0, 0)), QPoint(227, 182));
}

} // namespace
