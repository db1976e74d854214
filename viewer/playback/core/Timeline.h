// The clock of a video stream: frame k of a rate/scale stream starts at k x scale / rate seconds.
#pragma once

#include <cstdint>

namespace playback {

class Timeline {
 public:
  Timeline() = default;
  // Longest stream the arithmetic below is exact for.
  static constexpr uint64_t kMaxSeconds = 1000000;

  // rate and scale non-zero and frameCount x scale / rate at most kMaxSeconds.
  static bool Fits(uint32_t rate, uint32_t scale, uint64_t frameCount);
  // A stream that Fits; the fraction is reduced.
  Timeline(uint32_t rate, uint32_t scale, uint64_t frameCount);

  uint32_t Rate() const { return rate_; }
  uint32_t Scale() const { return scale_; }
  uint64_t FrameCount() const { return frames_; }

  // First microsecond at which frame k is due (rounded up, so FrameAt(FrameStart(k)) == k);
  // k counts at most to FrameCount().
  int64_t FrameStart(uint64_t k) const;
  // The frame due at a position; FrameCount() or more once the stream has ended.
  uint64_t FrameAt(int64_t microseconds) const;
  // Start of the frame after the last one.
  int64_t Duration() const { return FrameStart(frames_); }

 private:
  uint32_t rate_ = 1;
  uint32_t scale_ = 1;
  uint64_t frames_ = 0;
};

// Position in a stream that runs and pauses, from a clock in microseconds.
class StreamPosition {
 public:
  void Start(int64_t now) {
    anchorTime_ = now;
    anchorPosition_ = 0;
    running_ = true;
  }
  void Pause(int64_t now) {
    anchorPosition_ = At(now);
    running_ = false;
  }
  void Resume(int64_t now) {
    anchorTime_ = now;
    running_ = true;
  }
  bool Running() const { return running_; }
  int64_t At(int64_t now) const {
    return running_ ? anchorPosition_ + (now - anchorTime_) : anchorPosition_;
  }

 private:
  int64_t anchorTime_ = 0;
  int64_t anchorPosition_ = 0;
  bool running_ = false;
};

}  // namespace playback
