// The capture bitmap: hand-off of the newest frame from the display thread to the recorder.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace live {

// 404 x 404 x 3 bytes, the largest capture bitmap (rows of 1,212 bytes need no padding).
constexpr size_t kCaptureBitmapBytes = 404 * 404 * 3;

// The display thread writes a frame only while the recorder does not hold the bitmap, and the
// recorder takes hold only between two writes: testing the busy flag and writing, and setting
// it, are one step each under a short lock, so the recorder never encodes a half-written frame.
// The recorder sleeps until a frame is written instead of polling for one.
class CaptureHandOff {
 public:
  // Zero-filled; false when the memory is not there (recording is then unavailable).
  bool Allocate();
  void Free();
  bool Exists() const;

  // Display thread: while a recorder takes frames and does not hold the bitmap,
  // `write(bitmap)` fills it with a picture of side x side pixels and the frame sequence
  // advances. False when nothing was written.
  template <typename Write>
  bool Offer(int side, Write&& write) {
    {
      std::lock_guard<std::mutex> lock(guard_);
      if (!bitmap_ || encoderBusy_ || interrupted_) return false;
      write(bitmap_.get());
      side_ = side;
      ++frameSequence_;
    }
    frameWritten_.notify_one();
    return true;
  }

  // Recorder: waits up to `wait` for a frame newer than `seenSequence`, takes hold of the bitmap
  // and returns it with `seenSequence` and the picture's `side` updated. Null when none came,
  // and at once while interrupted. Release() ends the hold.
  const uint8_t* Claim(uint32_t& seenSequence, int& side,
                       std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  void Release();

  // Ends a recorder's wait and makes every claim fail until Resume(), so a recorder that is
  // told to stop does not sleep through it. No frame is converted meanwhile: only a recorder
  // reads the bitmap. Interrupted until the first Resume().
  void Interrupt();
  void Resume();
  bool Interrupted() const;

  uint32_t FrameSequence() const;
  bool EncoderBusy() const;

 private:
  bool Claimable(uint32_t seenSequence) const {
    return bitmap_ && !encoderBusy_ && frameSequence_ != seenSequence;
  }

  mutable std::mutex guard_;
  std::condition_variable frameWritten_;
  std::unique_ptr<uint8_t[]> bitmap_;
  bool encoderBusy_ = false;
  bool interrupted_ = true;
  uint32_t frameSequence_ = 0;
  int side_ = 0;
};

}  // namespace live
