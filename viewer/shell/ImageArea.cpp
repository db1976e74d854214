// The live image area: copies the exposed rows of the display bitmap, flipped, and paints them.
#include "viewer/shell/ImageArea.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstring>

#include "viewer/live/Render.h"
#include "viewer/shell/Ids.h"
#include "viewer/shell/Shell.h"

namespace shell {

ImageArea::ImageArea(QWidget* parent)
    : QWidget(parent), picture_(live::kDisplaySide, live::kDisplaySide, QImage::Format_BGR888) {
  setObjectName(QString::number(kIdImageArea));
  setFixedSize(live::kDisplaySide, live::kDisplaySide);
  // Every pixel is painted from the bitmap; no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  picture_.fill(Qt::black);
}

void ImageArea::paintEvent(QPaintEvent* event) {
  ++repaints_;
  const QRect area = event->rect() & rect();
  if (area.isEmpty()) return;
  const int x = area.x();
  const size_t bytes = size_t(area.width()) * 3;
  TheShell().displayBitmap.ReadFront([&](const uint8_t* bits) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      std::memcpy(
          picture_.scanLine(y) + size_t(x) * 3,
          bits + size_t(live::kDisplaySide - 1 - y) * live::kDisplayRowBytes + size_t(x) * 3,
          bytes);
    }
  });
  QPainter painter(this);
  painter.drawImage(area.topLeft(), picture_, area);
}

}  // namespace shell
