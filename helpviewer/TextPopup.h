// The text popup: a small borderless window with a plain text, placed with
// its top centre at a given point, closed by a click or a key.
#pragma once

#include "help/HtmlHelpApi.h"

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QMargins>

class QLabel;

namespace kpxhelp {

struct PopupStyle {
    QFont font;
    QColor foreground; // invalid: the palette's tooltip text colour
    QColor background; // invalid: the palette's tooltip base colour
    QMargins margins;
};

// Reads "face, point size, charset[, styles]" (styles: bold, italic,
// underline, strikeout, separated by blanks). Missing or unreadable parts
// keep the default font's; a face that is not installed falls back to the
// nearest sans-serif face.
QFont parseFontSpec(const char* spec, const QFont& fallback);

// A COLORREF (0x00BBGGRR) as a colour; invalid for -1 and any other value
// with a non-zero top byte, which stand for "engine default".
QColor colorFromRef(COLORREF ref);

// The popup's look from an HH_POPUP record; -1 margins become the default.
PopupStyle popupStyle(const HH_POPUP& popup, const QFont& defaultFont);

class TextPopup : public QFrame {
public:
    static constexpr int kDefaultMargin = 8;
    static constexpr int kMaxTextWidth = 420;

    TextPopup(const QString& text, const PopupStyle& style);

    // Shows the popup with its top centre at `topCentre` (screen
    // coordinates), moved as little as needed to stay on the screen.
    void showAt(QPoint topCentre);

    QLabel* label() const { return label_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* label_;
};

} // namespace kpxhelp
