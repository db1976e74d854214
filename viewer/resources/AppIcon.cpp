// Draws the window icon at 16, 32 and 48 pixels.
#include "viewer/resources/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace resources {
namespace {

QPixmap Glyph(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal unit = side / 16.0;
  // Unit body.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(40, 62, 96));
  painter.drawRoundedRect(QRectF(1 * unit, 3 * unit, 14 * unit, 10 * unit), 2 * unit, 2 * unit);
  // Sensor head on top.
  painter.setBrush(QColor(210, 160, 40));
  painter.drawRect(QRectF(5 * unit, 1 * unit, 6 * unit, 2.5 * unit));
  // Lens.
  painter.setBrush(QColor(230, 236, 245));
  painter.drawEllipse(QPointF(8 * unit, 8 * unit), 3.6 * unit, 3.6 * unit);
  painter.setBrush(QColor(20, 120, 200));
  painter.drawEllipse(QPointF(8 * unit, 8 * unit), 2.2 * unit, 2.2 * unit);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int side : {16, 32, 48}) icon.addPixmap(Glyph(side));
  return icon;
}

}  // namespace resources
