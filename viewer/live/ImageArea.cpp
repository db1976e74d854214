// The live image area: copies the exposed rows of the display bitmap, flipped, and paints them.
#include "viewer/live/ImageArea.h"

#include <QPaintEvent>
#include <QPainter>

#include "viewer/live/Render.h"
#include "viewer/shell/Ids.h"
#include "viewer/shell/Shell.h"

namespace shell {

ImageArea::ImageArea(QWidget* parent)
    : QWidget(parent), picture_(live::kDisplaySide, live::kDisplaySide, QImage::Format_RGB32) {
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
  // The picture is kept in the painter's native pixel format, so drawing it is a plain copy.
  uchar* pictureBits = picture_.bits();
  const qsizetype pictureRowBytes = picture_.bytesPerLine();
  TheShell().displayBitmap.ReadFront([&](const uint8_t* bits) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      const uint8_t* src = bits + size_t(live::kDisplaySide - 1 - y) * live::kDisplayRowBytes;
      auto* dst = reinterpret_cast<uint32_t*>(pictureBits + y * pictureRowBytes);
      live::BgrToArgb32(src + 3 * area.left(), area.width(), dst + area.left());
    }
  });
  QPainter painter(this);
  painter.drawImage(area.topLeft(), picture_, area);
}

}  // namespace shell
