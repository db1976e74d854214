// The live image area (control 1002): shows the front picture of the display bitmap.
#pragma once

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace live {

class DisplayBitmap;

// Milliseconds until the next picture may be painted: none once a refresh period has passed
// since the last one. No screen shows pictures faster than it refreshes.
int RepaintDelayMs(int64_t sinceLastMs, int periodMs);
// One refresh of a screen with this rate (Hz), rounded up; 60 Hz where the rate is unknown.
int RefreshPeriodMs(double refreshRate);

class ImageArea : public QWidget {
 public:
  // Shows the front picture of `bitmap`.
  ImageArea(QWidget* parent, const DisplayBitmap& bitmap);
  ~ImageArea() override;

  // GUI thread: at the next refresh of the screen, repaints the top-left square of the side
  // `takeSide` returns then (nothing for 0), which shows the newest picture. A request while
  // one waits takes its place. The waiting `takeSide` is called also when the area goes away
  // first, so its requester is never left waiting.
  void RepaintAtRefresh(std::function<int()> takeSide);

  // Repaints handled so far (GUI thread).
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void RepaintNow();

  const DisplayBitmap& bitmap_;
  // Top-down copy of the bottom-up bitmap rows that were exposed; allocated once.
  QImage picture_;
  int repaints_ = 0;
  QTimer refreshTimer_;
  QElapsedTimer sinceRepaint_;
  std::function<int()> takeSide_;
};

}  // namespace live
