#include "helpviewer/TextPopup.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace kpxhelp {

QFont parseFontSpec(const char* spec, const QFont& fallback)
{
    QFont font = fallback;
    if (!spec || !*spec)
        return font;
    const QStringList parts = QString::fromLocal8Bit(spec).split(QLatin1Char(','));
    const QString face = parts.value(0).trimmed();
    if (!face.isEmpty()) {
        font.setFamilies({face});
        font.setStyleHint(QFont::SansSerif);
    }
    bool ok = false;
    const double size = parts.value(1).trimmed().toDouble(&ok);
    if (ok && size > 0 && size <= 400)
        font.setPointSizeF(size);
    // parts[2] is the character set: Qt picks glyphs per character, so it
    // needs no setting of its own.
    for (qsizetype i = 3; i < parts.size(); ++i) {
        for (const QString& word : parts[i].split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString w = word.toLower();
            if (w == QLatin1String("bold"))
                font.setBold(true);
            else if (w == QLatin1String("italic"))
                font.setItalic(true);
            else if (w == QLatin1String("underline"))
                font.setUnderline(true);
            else if (w == QLatin1String("strikeout") || w == QLatin1String("srikeout"))
                font.setStrikeOut(true); // the second spelling is what some callers write
        }
    }
    return font;
}

QColor colorFromRef(COLORREF ref)
{
    if (ref & 0xFF000000u)
        return {};
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

PopupStyle popupStyle(const HH_POPUP& popup, const QFont& defaultFont)
{
    PopupStyle style;
    style.font = parseFontSpec(popup.pszFont, defaultFont);
    style.foreground = colorFromRef(popup.clrForeground);
    style.background = colorFromRef(popup.clrBackground);
    auto margin = [](int32_t m) { return m < 0 || m > 200 ? TextPopup::kDefaultMargin : m; };
    style.margins = QMargins(margin(popup.rcMargins.left), margin(popup.rcMargins.top),
                             margin(popup.rcMargins.right), margin(popup.rcMargins.bottom));
    return style;
}

TextPopup::TextPopup(const QString& text, const PopupStyle& style)
    : QFrame(nullptr, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("kpxHelpPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    setLineWidth(1);

    QPalette pal = palette();
    pal.setColor(QPalette::Window,
                 style.background.isValid() ? style.background : pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText,
                 style.foreground.isValid() ? style.foreground : pal.color(QPalette::ToolTipText));
    setPalette(pal);
    setAutoFillBackground(true);

    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("popupText"));
    label_->setTextFormat(Qt::PlainText);
    label_->setWordWrap(true);
    label_->setFont(style.font);
    label_->setPalette(pal);
    label_->setText(text);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(style.margins);
    layout->addWidget(label_);

    // Wrap long texts at a readable width; short ones keep their own width.
    const QFontMetrics fm(style.font);
    const int natural = fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, text).width();
    label_->setFixedWidth(std::clamp(natural + 2, 8, kMaxTextWidth));
    adjustSize();
}

void TextPopup::showAt(QPoint topCentre)
{
    QPoint topLeft(topCentre.x() - width() / 2, topCentre.y());
    QScreen* screen = QGuiApplication::screenAt(topCentre);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - width() + 1)));
        topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() - height() + 1)));
    }
    move(topLeft);
    show();
}

void TextPopup::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    close();
}

void TextPopup::keyPressEvent(QKeyEvent* event)
{
    event->accept();
    close();
}

} // namespace kpxhelp
