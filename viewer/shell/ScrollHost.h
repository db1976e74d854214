// The main window's client area: the tab control on a content rectangle that scrolls with the
// window's own scroll bars.
#pragma once

#include <QAbstractScrollArea>

#include "viewer/shell/ScrollModel.h"

namespace shell {

class ScrollHost : public QAbstractScrollArea {
 public:
  // `content` is placed at (5, 7) of the content rectangle and moved by the scroll positions.
  ScrollHost(Extent contentExtent, QWidget* content, QWidget* parent);

  Extent ContentSize() const { return extent_; }
  // Applies a scroll request to one direction.
  void Scroll(ScrollAxis axis, ScrollRequest request);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void PlaceContent();

  Extent extent_;
  QWidget* content_;
};

}  // namespace shell
