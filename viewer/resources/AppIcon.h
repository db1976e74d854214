// The program's window icon, drawn at start-up so no image file has to ship with it.
#pragma once

#include <QIcon>

namespace resources {

// A camera-unit glyph (body, lens, head connector) at the usual icon sizes.
QIcon AppIcon();

}  // namespace resources
