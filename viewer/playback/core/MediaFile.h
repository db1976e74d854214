// A media file opened for playback: an MJPEG AVI video or a BMP still, told apart by content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "viewer/playback/core/ByteSource.h"
#include "viewer/playback/core/Timeline.h"

namespace playback {

class MediaFile {
 public:
  virtual ~MediaFile();

  // Null when the file cannot be opened, is neither kind, or cannot be shown: no picture size,
  // no frame rate or no frame.
  static std::unique_ptr<MediaFile> Open(const std::string& path);
  static std::unique_ptr<MediaFile> Open(std::unique_ptr<ByteSource> source);

  // Files open at the moment, in the whole process.
  static int OpenCount();

  int Width() const { return width_; }
  int Height() const { return height_; }
  // A still has one frame and no clock.
  bool Still() const { return still_; }
  const Timeline& Clock() const { return timeline_; }
  uint64_t FrameCount() const { return still_ ? 1 : timeline_.FrameCount(); }

  // Frame i as 32-bit pixels (blue, green, red, 255), top row first, rows `stride` bytes apart,
  // Width() x Height(). False when the frame cannot be read or decoded. One thread at a time.
  virtual bool Decode(uint64_t i, uint8_t* pixels, size_t stride) = 0;

 protected:
  MediaFile(int width, int height, bool still, Timeline timeline);

 private:
  int width_;
  int height_;
  bool still_;
  Timeline timeline_;
};

}  // namespace playback
