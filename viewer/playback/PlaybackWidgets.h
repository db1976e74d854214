// The playback controls of the Picture page: the video window over the image area with the
// picture inside it, the file label and the status label.
#pragma once

#include <QImage>
#include <QWidget>
#include <cstddef>
#include <cstdint>

class QLabel;

namespace picture {
class LivePage;
}

namespace playback {

// The picture of playback, painted scaled to the widget's size pixel by pixel.
class VideoView : public QWidget {
 public:
  explicit VideoView(QWidget* parent);

  // Shows width x height 32-bit pixels (blue, green, red, 255) that the caller keeps alive and
  // unchanged until the next call; null shows black.
  void SetPicture(const uint8_t* pixels, int width, int height, size_t stride);
  bool HasPicture() const { return !picture_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;  // a view of the caller's pixels, never a copy
};

struct PlaybackControls {
  QWidget* videoWindow = nullptr;  // 9201
  VideoView* view = nullptr;
  QLabel* fileLabel = nullptr;  // 1004
  QLabel* status = nullptr;     // 9202
};

// Finds the playback controls on a page by their ids and creates those it lacks: the video
// window, hidden, the file label, hidden, where the frame-rate line is, and the status label
// reading "LIVE". The video window is kept on the image area's rectangle.
PlaybackControls AttachPlaybackControls(picture::LivePage* page);

}  // namespace playback
