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

// A first line "window WIDTH HEIGHT CLIENTWIDTH CLIENTHEIGHT", then one line
// per named widget of the client area: name, class, position within the
// client area, size, whether it is shown, and the text it shows (list items
// joined by "|"). For checking a running window against its description.
void dumpWidgets(const QWidget& window, QTextStream& out);

} // namespace gui
