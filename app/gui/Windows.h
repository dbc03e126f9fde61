// The Qt windows of the three forms, built from their form descriptions.
#pragma once

#include <memory>

class QTextStream;
class QWidget;
class TAboutBox;
class TPagesDlg;
class TfrmUpdate;

namespace tkqt {
class QtBackend;
}

namespace gui {

// Each window exactly as its form description builds it, unbound.
std::unique_ptr<QWidget> buildMainWindow();
std::unique_ptr<QWidget> buildAboutBox();
std::unique_ptr<QWidget> buildPagesDlg();

// Builds the form's window and binds it to the form.
void attach(tkqt::QtBackend& backend, TfrmUpdate& form);
void attach(tkqt::QtBackend& backend, TAboutBox& form);
void attach(tkqt::QtBackend& backend, TPagesDlg& form);

// One line per named widget of window: name, class, position within the
// window's client area, size, and whether it is shown. For checking a
// running window against its form description.
void dumpWidgets(const QWidget& window, QTextStream& out);

} // namespace gui
