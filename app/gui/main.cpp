// kpx-updater: the update tool in a window.
#include "app/gui/Updater.h"
#include "platform/Desktop.h"
#include "platform/qt/QtDesktop.h"
#include "toolkit/qt/QtBackend.h"

#include <QApplication>
#include <QIcon>

#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    // Our options are read before the toolkit starts, so that --help and a
    // bad option need no display.
    gui::UpdaterOptions options;
    try {
        options = gui::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& error) {
        std::cerr << "kpx-updater: " << error.what() << "\n\n" << gui::usage("kpx-updater");
        return 2;
    }
    if (options.window.help) {
        std::cout << gui::usage("kpx-updater");
        return 0;
    }
    if (options.window.version) {
        std::cout << "kpx-updater " KPX_VERSION "\n";
        return 0;
    }

    QApplication qapp(argc, argv);
    // Help popups are placed at the mouse and kept inside the screen's work
    // area; those must be the ones the operator sees, not the fallbacks of a
    // program without a display. Ends before the QApplication does.
    platform::QtDesktop desktop;
    platform::ScopedDesktop desktopInForce(desktop);
    // What is left after the toolkit took its own options must be ours.
    std::vector<std::string> left;
    for (const QString& argument : QCoreApplication::arguments().mid(1))
        left.push_back(argument.toStdString());
    if (const std::vector<std::string> unknown = gui::parseOptions(left).window.rest; !unknown.empty()) {
        std::cerr << "kpx-updater: unknown option " << unknown.front() << "\n\n" << gui::usage("kpx-updater");
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("kpx-updater"));
    QGuiApplication::setDesktopFileName(QStringLiteral("kpx-updater"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/kpx/icon.png")));

    tkqt::QtBackend backend;
    backend.setTitle(QStringLiteral("M740-RT Updater"));
    return gui::runUpdater(backend, options);
}
