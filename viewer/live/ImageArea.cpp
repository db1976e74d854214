// The live image area: copies the exposed rows of the display bitmap, flipped, and paints them.
#include "viewer/live/ImageArea.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <utility>

#include "viewer/base/Ids.h"
#include "viewer/live/core/DisplayBitmap.h"
#include "viewer/live/core/image/Render.h"

namespace live {

int RepaintDelayMs(int64_t sinceLastMs, int periodMs) {
  if (sinceLastMs < 0) return 0;
  return int(std::max<int64_t>(periodMs - sinceLastMs, 0));
}

int RefreshPeriodMs(double refreshRate) {
  if (!(refreshRate >= 1.0)) refreshRate = 60.0;
  return std::max(1, int(std::ceil(1000.0 / refreshRate)));
}

ImageArea::ImageArea(QWidget* parent, const DisplayBitmap& bitmap)
    : QWidget(parent),
      bitmap_(bitmap),
      picture_(live::kDisplaySide, live::kDisplaySide, QImage::Format_RGB32) {
  setObjectName(QString::number(base::kIdImageArea));
  setFixedSize(live::kDisplaySide, live::kDisplaySide);
  // Every pixel is painted from the bitmap; no background fill first.
  setAttribute(Qt::WA_OpaquePaintEvent);
  picture_.fill(Qt::black);
  refreshTimer_.setSingleShot(true);
  refreshTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&refreshTimer_, &QTimer::timeout, this, [this] { RepaintNow(); });
}

ImageArea::~ImageArea() {
  // The requester waits for its call before it asks again.
  if (takeSide_) std::exchange(takeSide_, nullptr)();
}

void ImageArea::RepaintAtRefresh(std::function<int()> takeSide) {
  takeSide_ = std::move(takeSide);
  if (refreshTimer_.isActive()) return;
  const QScreen* shown = screen();
  const int period = RefreshPeriodMs(shown != nullptr ? shown->refreshRate() : 0.0);
  const int delay = sinceRepaint_.isValid() ? RepaintDelayMs(sinceRepaint_.elapsed(), period) : 0;
  if (delay == 0) {
    RepaintNow();
  } else {
    refreshTimer_.start(delay);
  }
}

void ImageArea::RepaintNow() {
  if (!takeSide_) return;
  const int side = std::exchange(takeSide_, nullptr)();
  if (side <= 0) return;
  sinceRepaint_.start();
  update(0, 0, side, side);
}

void ImageArea::paintEvent(QPaintEvent* event) {
  ++repaints_;
  const QRect area = event->rect() & rect();
  if (area.isEmpty()) return;
  // The picture is kept in the painter's native pixel format, so drawing it is a plain copy.
  uchar* pictureBits = picture_.bits();
  const qsizetype pictureRowBytes = picture_.bytesPerLine();
  bitmap_.ReadFront([&](const uint8_t* bits) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      const uint8_t* src = bits + size_t(live::kDisplaySide - 1 - y) * live::kDisplayRowBytes;
      auto* dst = reinterpret_cast<uint32_t*>(pictureBits + y * pictureRowBytes);
      live::BgrToArgb32(src + 3 * area.left(), area.width(), dst + area.left());
    }
  });
  QPainter painter(this);
  painter.drawImage(area.topLeft(), picture_, area);
}

}  // namespace live
