// The form descriptions (.ui) as uic builds them, against the headless forms
// and the descriptions generated for them: the same controls under the same
// names, with the same texts, initial states and places.
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

// The generated description places each part as uic does from the same
// file, so a backend that draws from the description draws the same window
// (the texts: expectAgreement, as the forms take them from the description).
void expectSameLayout(const tk::FormDescription& description, const QWidget& window)
{
    for (const tk::ControlDescription& part : description.controls) {
        SCOPED_TRACE(part.name);
        const QWidget* widget = window.findChild<QWidget*>(QString::fromStdString(part.name));
        ASSERT_NE(widget, nullptr);
        if (part.width == 0)
            continue; // laid out by its window, not placed
        EXPECT_EQ(widget->geometry(), QRect(part.left, part.top, part.width, part.height));
        EXPECT_EQ(widget->parentWidget()->objectName().toStdString(),
                  part.parent.empty() ? description.name : part.parent);
    }
}

TEST(FormDescription, EachAgreesWithItsForm)
{
    sim::Atmega128 device;
    tkqt::QtBackend backend;
    guitest::ModalScript nothingAsked(backend);
    tk::TApplication application{backend};
    const struct {
        const tk::TForm& form;
        std::unique_ptr<QWidget> window;
        std::set<std::string> decorations, shownInDescription;
    } forms[] = {
        {application.CreateForm<TfrmUpdate>(std::make_unique<sim::SimComPort>(device)), gui::buildMainWindow(),
         {"centralwidget", "MainMenu1"}, {"lblLock", "lblExtFuse"}},
        {application.CreateForm<TAboutBox>(), gui::buildAboutBox(), {"Panel1", "ProgramIcon"}, {}},
        {application.CreateForm<TPagesDlg>(), gui::buildPagesDlg(), {"Panel2"}, {}},
    };
    for (const auto& [form, window, decorations, shownInDescription] : forms) {
        SCOPED_TRACE(form.Name());
        expectAgreement(form, *window, decorations, shownInDescription);
        expectSameLayout(form.Description(), *window);
    }
}

} // namespace
