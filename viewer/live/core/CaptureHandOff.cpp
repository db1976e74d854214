// The capture bitmap hand-off between the display thread and the recorder.
#include "viewer/live/core/CaptureHandOff.h"

#include <new>

namespace live {

bool CaptureHandOff::Allocate() {
  std::lock_guard<std::mutex> lock(guard_);
  bitmap_.reset(new (std::nothrow) uint8_t[kCaptureBitmapBytes]());
  encoderBusy_ = false;
  frameSequence_ = 0;
  side_ = 0;
  return bitmap_ != nullptr;
}

void CaptureHandOff::Free() {
  std::lock_guard<std::mutex> lock(guard_);
  bitmap_.reset();
  encoderBusy_ = false;
}

bool CaptureHandOff::Exists() const {
  std::lock_guard<std::mutex> lock(guard_);
  return bitmap_ != nullptr;
}

const uint8_t* CaptureHandOff::Claim(uint32_t& seenSequence, int& side,
                                     std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(guard_);
  frameWritten_.wait_for(lock, wait, [&] { return interrupted_ || Claimable(seenSequence); });
  if (interrupted_ || !Claimable(seenSequence)) return nullptr;
  encoderBusy_ = true;
  seenSequence = frameSequence_;
  side = side_;
  return bitmap_.get();
}

void CaptureHandOff::Release() {
  std::lock_guard<std::mutex> lock(guard_);
  encoderBusy_ = false;
}

void CaptureHandOff::Interrupt() {
  {
    std::lock_guard<std::mutex> lock(guard_);
    interrupted_ = true;
  }
  frameWritten_.notify_all();
}

void CaptureHandOff::Resume() {
  std::lock_guard<std::mutex> lock(guard_);
  interrupted_ = false;
}

bool CaptureHandOff::Interrupted() const {
  std::lock_guard<std::mutex> lock(guard_);
  return interrupted_;
}

uint32_t CaptureHandOff::FrameSequence() const {
  std::lock_guard<std::mutex> lock(guard_);
  return frameSequence_;
}

bool CaptureHandOff::EncoderBusy() const {
  std::lock_guard<std::mutex> lock(guard_);
  return encoderBusy_;
}

}  // namespace live
