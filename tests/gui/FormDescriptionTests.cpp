// The form descriptions (.ui) against the headless forms: the same controls
// under the same names, with the same texts and initial states.
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
#include <QMenu>
#include <QProgressBar>

#include <gtest/gtest.h>

#include <set>

namespace {

std::string text(const QString& s) { return s.toStdString(); }

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

TEST(FormDescription, EachAgreesWithItsForm)
{
    sim::Atmega128 device;
    tkqt::QtBackend backend;
    guitest::ModalScript nothingAsked(backend);
    tk::TApplication application{backend};
    expectAgreement(application.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(device)),
                    *gui::buildMainWindow(), {"centralwidget", "MainMenu1"}, {"lblLock", "lblExtFuse"});
    expectAgreement(application.CreateForm<TAboutBox>(), *gui::buildAboutBox(), {"Panel1", "ProgramIcon"});
    expectAgreement(application.CreateForm<TPagesDlg>(), *gui::buildPagesDlg(), {"Panel2"});
}

} // namespace
