#include "app/gui/Updater.h"

#include "app/UI.h"
#include "app/gui/Windows.h"
#include "toolkit/Application.h"
#include "toolkit/qt/QtBackend.h"

#include <QFile>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <stdexcept>

namespace gui {

UpdaterOptions parseOptions(const std::vector<std::string>& arguments)
{
    UpdaterOptions options;
    options.window = startup::parseWindowOptions(arguments);
    std::vector<std::string> rest;
    for (const std::string& argument : options.window.rest) {
        if (argument.rfind("--dump-widgets=", 0) == 0) {
            options.dumpWidgetsTo = argument.substr(std::string("--dump-widgets=").size());
            if (options.dumpWidgetsTo.empty())
                throw std::invalid_argument("--dump-widgets needs a file name");
        } else {
            rest.push_back(argument);
        }
    }
    options.window.rest = rest;
    return options;
}

std::string usage(const std::string& program)
{
    return startup::windowUsage(program, "  --dump-widgets=FILE    once the window is shown, write its controls'\n"
                                         "                         names, positions and sizes to FILE\n");
}

namespace {

void scheduleDump(tkqt::QtBackend& backend, const TfrmUpdate& form, const std::string& path)
{
    QTimer::singleShot(0, [&backend, &form, path] {
        const QWidget* window = backend.window(form);
        QFile file(QString::fromStdString(path));
        if (!window || !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return;
        QTextStream out(&file);
        dumpWidgets(*window, out);
    });
}

} // namespace

int runUpdater(tkqt::QtBackend& backend, const UpdaterOptions& options)
{
    // Outlives the application, and so the ports wired to it.
    startup::Simulation simulation;
    tk::TApplication application(backend);
    application.HandleEvent([&] {
        application.Initialize();
        const startup::Windows windows = startup::createWindows(application, options.window, simulation);
        attach(backend, windows.main);
        attach(backend, windows.about);
        attach(backend, windows.pages);
        if (!options.dumpWidgetsTo.empty())
            scheduleDump(backend, windows.main, options.dumpWidgetsTo);
        application.Run();
    });
    return 0;
}

} // namespace gui
