// Exact integer frame times for any 32-bit rate and scale, without 64-bit overflow.
#include "viewer/playback/core/Timeline.h"

#include <numeric>

namespace playback {
namespace {

constexpr uint64_t kMicro = 1000000;

}  // namespace

bool Timeline::Fits(uint32_t rate, uint32_t scale, uint64_t frameCount) {
  if (rate == 0 || scale == 0) return false;
  // frameCount x scale <= kMaxSeconds x rate, without forming the product on the left.
  return frameCount <= kMaxSeconds * rate / scale;
}

Timeline::Timeline(uint32_t rate, uint32_t scale, uint64_t frameCount) : frames_(frameCount) {
  if (!Fits(rate, scale, frameCount)) {
    frames_ = 0;
    return;
  }
  const uint32_t g = std::gcd(rate, scale);
  rate_ = rate / g;
  scale_ = scale / g;
}

int64_t Timeline::FrameStart(uint64_t k) const {
  // k x scale x 10^6 / rate, rounded up: whole seconds first, then the remainder's microseconds.
  // Within kMaxSeconds, k x scale stays below 2^52.
  if (k > frames_) k = frames_;
  const uint64_t ticks = k * scale_;
  const uint64_t seconds = ticks / rate_;
  const uint64_t rest = ticks % rate_;
  return int64_t(seconds * kMicro + (rest * kMicro + rate_ - 1) / rate_);
}

uint64_t Timeline::FrameAt(int64_t microseconds) const {
  if (microseconds <= 0) return 0;
  if (microseconds >= Duration()) return frames_;
  // floor(us x rate / (scale x 10^6)) as seconds x rate split into whole frames and a remainder
  // small enough to combine with the sub-second part.
  const uint64_t us = uint64_t(microseconds);
  const uint64_t a = (us / kMicro) * rate_;
  const uint64_t b = (us % kMicro) * rate_;
  const uint64_t whole = a / scale_;
  const uint64_t part = ((a % scale_) * kMicro + b) / (uint64_t(scale_) * kMicro);
  return whole + part;
}

}  // namespace playback
