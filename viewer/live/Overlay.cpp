// The usage-limit notice: text rendered once with Qt and copied into the bottom-up display bitmap.
#include <QColor>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstring>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace live {
namespace {

constexpr int kNoticeX = 275;
constexpr int kNoticeY = 392;

// The notice as top-down rows of blue, green, red bytes.
struct NoticePixels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgr;
};

// Opaque text cell: the advance width and the line height of the default font, silver
// background, white text.
NoticePixels RenderNotice() {
  const QString text = QStringLiteral("Usage Count Reaches Upper Limit");
  const QFont font;
  QImage probe(1, 1, QImage::Format_RGB888);
  const QFontMetrics metrics(font, &probe);
  const int width = std::min(metrics.horizontalAdvance(text), kDisplaySide);
  const int height = std::min(metrics.height(), kDisplaySide);
  NoticePixels notice;
  if (width <= 0 || height <= 0) return notice;

  QImage image(width, height, QImage::Format_RGB888);
  image.fill(QColor(192, 192, 192));
  {
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255));
    painter.drawText(0, metrics.ascent(), text);
  }

  notice.width = width;
  notice.height = height;
  notice.bgr.resize(size_t(width) * size_t(height) * 3);
  for (int y = 0; y < height; ++y) {
    const uchar* src = image.constScanLine(y);
    uint8_t* dst = notice.bgr.data() + size_t(y) * size_t(width) * 3;
    for (int x = 0; x < width; ++x) {
      dst[3 * x] = src[3 * x + 2];
      dst[3 * x + 1] = src[3 * x + 1];
      dst[3 * x + 2] = src[3 * x];
    }
  }
  return notice;
}

// Fonts exist only once a QGuiApplication does; until then there is nothing to cache.
const NoticePixels* Notice() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return nullptr;
  static const NoticePixels notice = RenderNotice();
  return &notice;
}

}  // namespace

void PrepareLimitNotice() {
  Notice();
}

void DrawLimitNotice(uint8_t* display) {
  const NoticePixels* notice = Notice();
  if (display == nullptr || notice == nullptr || notice->width == 0) return;
  const int width = std::min(notice->width, kDisplaySide - kNoticeX);
  const int height = std::min(notice->height, kDisplaySide - kNoticeY);
  for (int y = 0; y < height; ++y) {
    std::memcpy(
        display + size_t(kDisplaySide - 1 - kNoticeY - y) * kDisplayRowBytes + size_t(kNoticeX) * 3,
        notice->bgr.data() + size_t(y) * size_t(notice->width) * 3, size_t(width) * 3);
  }
}

}  // namespace live
