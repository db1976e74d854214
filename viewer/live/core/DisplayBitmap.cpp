// The double-buffered display bitmap.
#include "viewer/live/core/DisplayBitmap.h"

#include <new>
#include <utility>

#include "viewer/live/core/image/Render.h"

namespace live {

bool DisplayBitmap::Create() {
  std::lock_guard<std::mutex> lock(guard_);
  memory_.reset(new (std::nothrow) uint8_t[2 * live::kDisplayBytes]());
  front_ = memory_ ? memory_.get() : nullptr;
  back_ = memory_ ? memory_.get() + live::kDisplayBytes : nullptr;
  frontDirty_ = backDirty_ = 0;
  return memory_ != nullptr;
}

void DisplayBitmap::Destroy() {
  std::lock_guard<std::mutex> lock(guard_);
  front_ = nullptr;
  back_ = nullptr;
  memory_.reset();
}

bool DisplayBitmap::Exists() const {
  std::lock_guard<std::mutex> lock(guard_);
  return front_ != nullptr;
}

void DisplayBitmap::Publish() {
  std::lock_guard<std::mutex> lock(guard_);
  std::swap(front_, back_);
  std::swap(frontDirty_, backDirty_);
}

void DisplayBitmap::ShowNoSignal() {
  std::lock_guard<std::mutex> lock(guard_);
  if (front_ == nullptr) return;
  live::PaintNoSignal(front_);
  frontDirty_ = live::kDisplaySide;
}

}  // namespace live
