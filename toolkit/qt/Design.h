// What a form description says beyond what Designer has words for, kept as
// dynamic properties in the .ui and applied when the window is bound.
//
// On the root widget:
//   designLeft, designTop      outer position on the screen
//   clientWidth, clientHeight  fixed client area (below the menu bar)
//   borderStyle                "single" (main window: title bar, system menu,
//                              minimize and close) or "dialog" (close only)
//   activeControl              object name of the control with the first focus
// On controls:
//   autoSize (labels)          the label fits its text whenever it changes; a
//                              text too wide for the form is shortened (ElideText)
//   itemHeight (list boxes)    pixel height of every item
//
// Fonts given in points get the pixel height they have on a 96 dpi screen,
// so the layout does not depend on the display's resolution, and a missing
// family is stood in for by the nearest sans-serif face.
#pragma once

class QListWidget;
class QWidget;

namespace tkqt {

inline constexpr const char* autoSizeProperty = "autoSize";
inline constexpr const char* itemHeightProperty = "itemHeight";
inline constexpr const char* extendedGeometryProperty = "extendedGeometry";

void applyDesign(QWidget& window);

// Gives every item of the list the height of its itemHeight property. A list
// with an extendedGeometry property takes that place while it holds more
// items than its designed place shows, so that every item can be read.
void applyItemHeight(QListWidget& list);

// Pixel height of a font size in points on a 96 dpi screen.
int pointsToPixels(double points);

} // namespace tkqt
