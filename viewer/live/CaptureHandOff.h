// The capture bitmap: hand-off of the newest frame from the display thread to the recorder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace shell {

// 404 x 404 x 3 bytes, the largest capture bitmap (rows of 1,212 bytes need no padding).
constexpr size_t kCaptureBitmapBytes = 404 * 404 * 3;

// The display thread writes a frame only while the recorder does not hold the bitmap, and the
// recorder takes hold only between two writes: testing the busy flag and writing, and setting
// it, are one step each under a short lock, so the recorder never encodes a half-written frame.
class CaptureHandOff {
 public:
  // Zero-filled; false when the memory is not there (recording is then unavailable).
  bool Allocate();
  void Free();
  bool Exists() const;

  // Display thread: unless the recorder holds the bitmap, `write(bitmap)` fills it and the frame
  // sequence advances. False when nothing was written.
  template <typename Write>
  bool Offer(Write&& write) {
    std::lock_guard<std::mutex> lock(guard_);
    if (!bitmap_ || encoderBusy_) return false;
    write(bitmap_.get());
    ++frameSequence_;
    return true;
  }

  // Recorder: takes hold of the bitmap when it carries a frame newer than `seenSequence` and
  // returns it (`seenSequence` updated); null otherwise. Release() ends the hold.
  const uint8_t* Claim(uint32_t& seenSequence);
  void Release();

  uint32_t FrameSequence() const;
  bool EncoderBusy() const;

 private:
  mutable std::mutex guard_;
  std::unique_ptr<uint8_t[]> bitmap_;
  bool encoderBusy_ = false;
  uint32_t frameSequence_ = 0;
};

}  // namespace shell
