// Pictures of the executable's own, for controls: a PNG kept as an RCDATA
// resource, decoded and scaled by the system's imaging component.
#pragma once

#include "platform/win/Win32.h"

#include <string>

namespace tkwin {

// The picture a form description names (":/kpx/logo.png" is the resource
// LOGO.PNG), scaled to width x height and laid on background where it is
// transparent; null when there is no such resource or it cannot be decoded.
// The caller owns the bitmap. Needs COM on the calling thread.
HBITMAP loadPicture(const std::string& path, int width, int height, COLORREF background);

} // namespace tkwin
