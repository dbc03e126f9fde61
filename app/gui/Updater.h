// Start-up of the window front end: options, then the application, the main
// window and the two dialogs, then the message loop.
#pragma once

#include "app/startup/Startup.h"

#include <string>
#include <vector>

namespace tkqt {
class QtBackend;
}

namespace gui {

struct UpdaterOptions {
    startup::WindowOptions window;
    // Where to describe the main window's widgets once it is shown.
    std::string dumpWidgetsTo;
};

// Throws std::invalid_argument with a message for the operator. Arguments
// that are not ours are left in window.rest for the toolkit.
UpdaterOptions parseOptions(const std::vector<std::string>& arguments);
std::string usage(const std::string& program);

// Builds everything in start-up order, runs the message loop until the
// application ends and tears it down. An exception that escapes start-up is
// shown in a message box. Returns the exit code: 0.
int runUpdater(tkqt::QtBackend& backend, const UpdaterOptions& options);

} // namespace gui
