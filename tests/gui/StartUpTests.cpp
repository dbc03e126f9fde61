// kpx-updater's start-up: its options, and one whole run of the message loop
// from start-up to the operator's Exit.
#include "app/UI.h"
#include "app/gui/Updater.h"
#include "dialogs/about.h"
#include "dialogs/download.h"
#include "tests/gui/ModalScript.h"
#include "toolkit/qt/QtBackend.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(UpdaterOptions, SimulationScenarioAndTheToolkitsOwnArguments)
{
    const gui::UpdaterOptions plain = gui::parseOptions({});
    EXPECT_FALSE(plain.simulate);
    EXPECT_FALSE(plain.help);

    const gui::UpdaterOptions simulated = gui::parseOptions({"--simulate=wrong-model", "-platform", "offscreen"});
    EXPECT_TRUE(simulated.simulate);
    EXPECT_EQ(simulated.scenario.kind, sim::Scenario::Kind::WrongModel);
    EXPECT_EQ(simulated.rest, (std::vector<std::string>{"-platform", "offscreen"}));

    EXPECT_EQ(gui::parseOptions({"--simulate"}).scenario.kind, sim::Scenario::Kind::Normal);
    EXPECT_TRUE(gui::parseOptions({"--help"}).help);
    EXPECT_THROW(gui::parseOptions({"--simulate=no-such-thing"}), std::invalid_argument);
    EXPECT_THROW(gui::parseOptions({"--dump-widgets="}), std::invalid_argument);
}

TEST(UpdaterRun, StartsInOrderAndEndsWithExitCodeZero)
{
    tkqt::QtBackend backend;
    guitest::ModalScript script(backend);
    script.expect("Close application ?", tk::mrYes);
    gui::UpdaterOptions options;
    options.simulate = true;

    QTimer::singleShot(0, [&] {
        // The message loop runs: the main window is up, the dialogs exist
        // but are hidden, and the help file lies beside the executable.
        ASSERT_NE(frmUpdate, nullptr);
        ASSERT_NE(AboutBox, nullptr);
        ASSERT_NE(PagesDlg, nullptr);
        QWidget* main = backend.window(*frmUpdate);
        EXPECT_TRUE(main->isVisible());
        EXPECT_FALSE(backend.window(*AboutBox)->isVisible());
        EXPECT_FALSE(backend.window(*PagesDlg)->isVisible());
        EXPECT_EQ(frmUpdate->Application().MainForm(), frmUpdate);
        EXPECT_EQ(frmUpdate->Application().HelpFile,
                  tk::ExtractFilePath(tk::ParamStr(0)) + "KPX Updater.chm");
        main->findChild<QAction*>("Exit1")->trigger();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "message loop did not end";
        QCoreApplication::exit(1);
    });
    watchdog.start(10000);

    EXPECT_EQ(gui::runUpdater(backend, options), 0);
    EXPECT_TRUE(script.done());
    // Everything was torn down with the application.
    EXPECT_EQ(frmUpdate, nullptr);
    EXPECT_EQ(AboutBox, nullptr);
}

} // namespace
