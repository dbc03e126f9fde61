#include "toolkit/qt/Design.h"

#include <QAction>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tkqt {

namespace {

// The faces the forms were drawn with are seldom installed outside their
// home platform. Faces with the same metrics come first, then whatever
// sans-serif face the system has.
void installSubstitutes()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
                                    QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")});
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("DejaVu Sans")});
        return true;
    }();
    (void)done;
}

void applyFonts(QWidget& root)
{
    installSubstitutes();
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    // Parents come before their children, so a child that sets only its
    // size still inherits the parent's face.
    for (QWidget* widget : widgets) {
        if (!widget->testAttribute(Qt::WA_SetFont))
            continue;
        QFont font = widget->font();
        font.setStyleHint(QFont::SansSerif);
        if (font.pointSizeF() > 0)
            font.setPixelSize(pointsToPixels(font.pointSizeF()));
        widget->setFont(font);
    }
}

int intProperty(const QWidget& widget, const char* name, bool& present)
{
    const QVariant value = widget.property(name);
    present = value.isValid();
    return value.toInt();
}

void applyBorder(QWidget& window)
{
    const QString style = window.property("borderStyle").toString();
    if (style == QLatin1String("single"))
        window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    else if (style == QLatin1String("dialog"))
        window.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowCloseButtonHint);
}

void applyClientSize(QWidget& window)
{
    bool hasWidth = false;
    bool hasHeight = false;
    int width = intProperty(window, "clientWidth", hasWidth);
    const int height = intProperty(window, "clientHeight", hasHeight);
    if (!hasWidth || !hasHeight)
        return;
    // A one-line label on the form itself gets the room its designed text
    // needs: where the form is too narrow for it in this font, the form
    // grows.
    auto* main = qobject_cast<QMainWindow*>(&window);
    const QWidget* body = main ? main->centralWidget() : &window;
    for (const QLabel* label : window.findChildren<QLabel*>())
        if (label->parentWidget() == body && label->property(autoSizeProperty).toBool())
            width = std::max(width, label->x() + label->width());
    if (main) {
        int menuHeight = 0;
        if (QMenuBar* menu = main->menuBar()) {
            // The menu bar belongs to the window, as designed, not to a
            // desktop-wide global menu.
            menu->setNativeMenuBar(false);
            menuHeight = menu->sizeHint().height();
        }
        if (QWidget* central = main->centralWidget())
            central->setFixedSize(width, height);
        main->setFixedSize(width, height + menuHeight);
    } else {
        window.setFixedSize(width, height);
    }
}

} // namespace

int pointsToPixels(double points)
{
    return static_cast<int>(std::lround(points * 96.0 / 72.0));
}

void applyItemHeight(QListWidget& list)
{
    const int height = list.property(itemHeightProperty).toInt();
    if (height <= 0)
        return;
    const QFontMetrics metrics(list.font());
    for (int row = 0; row < list.count(); ++row) {
        QListWidgetItem* item = list.item(row);
        item->setSizeHint(QSize(metrics.horizontalAdvance(item->text()) + 4, height));
    }

    const QRect extended = list.property(extendedGeometryProperty).toRect();
    if (extended.isEmpty())
        return;
    // The designed place, kept the first time the list is fitted.
    static constexpr const char* designedProperty = "designedGeometry";
    if (!list.property(designedProperty).isValid())
        list.setProperty(designedProperty, list.geometry());
    const QRect designed = list.property(designedProperty).toRect();
    const bool crowded = list.count() * height > designed.height() - 2 * list.frameWidth();
    list.setGeometry(crowded ? extended : designed);
    // A name too long even there keeps its end, where an adapter's serial
    // number is.
    list.setTextElideMode(crowded ? Qt::ElideMiddle : Qt::ElideRight);
}

void applyDesign(QWidget& window)
{
    applyFonts(window);
    applyBorder(window);

    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == QLatin1String("-"))
            action->setSeparator(true);
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->property(autoSizeProperty).toBool())
            label->adjustSize();
    for (QListWidget* list : window.findChildren<QListWidget*>())
        applyItemHeight(*list);

    applyClientSize(window);

    bool hasLeft = false;
    bool hasTop = false;
    const int left = intProperty(window, "designLeft", hasLeft);
    const int top = intProperty(window, "designTop", hasTop);
    if (hasLeft && hasTop)
        window.move(left, top);

    const QString focus = window.property("activeControl").toString();
    if (!focus.isEmpty())
        if (auto* control = window.findChild<QWidget*>(focus))
            control->setFocus(Qt::OtherFocusReason);
}

} // namespace tkqt
