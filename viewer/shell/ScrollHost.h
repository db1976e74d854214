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
  // The content grew (pages laid out by the font they show): the scroll bars follow.
  void SetContentSize(Extent extent);
  // Applies a scroll request to one direction.
  void Scroll(ScrollAxis axis, ScrollRequest request);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;
  // Wheel turns over unfocused controls inside the window scroll the window.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PlaceContent();
  void UpdateScrollBars();

  Extent extent_;
  QWidget* content_;
};

}  // namespace shell
