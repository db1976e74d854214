// The live image area (control 1002): shows the front picture of the display bitmap.
#pragma once

#include <QImage>
#include <QWidget>

namespace shell {

class ImageArea : public QWidget {
 public:
  explicit ImageArea(QWidget* parent);

  // Repaints handled so far (GUI thread).
  int Repaints() const { return repaints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Top-down copy of the bottom-up bitmap rows that were exposed; allocated once.
  QImage picture_;
  int repaints_ = 0;
};

}  // namespace shell
