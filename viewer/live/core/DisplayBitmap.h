// The display bitmap: the live picture shared by the display thread and the image areas.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

namespace live {

// Two 808 x 808 bottom-up BGR buffers (the layout of live::kDisplayBytes). The display thread
// renders into the back buffer without a lock and publishes it by swapping; the image areas copy
// from the front buffer under a short lock. So a repaint never shows a half-converted frame, and
// neither side waits longer than one swap or one copy.
class DisplayBitmap {
 public:
  // Zero-filled; false when the memory is not there.
  bool Create();
  void Destroy();
  bool Exists() const;

  // Display thread only; null while the bitmap does not exist.
  uint8_t* Back() { return back_; }
  // Display thread only: the back buffer is black outside its top-left square of this side
  // (what a render may pass as its dirty side); the drawing into it says what it left.
  int BackDirtySide() const { return backDirty_; }
  void SetBackDirtySide(int side) { backDirty_ = side; }
  // Makes the back buffer the shown picture.
  void Publish();

  // The no-signal picture (blue) becomes the shown picture at once.
  void ShowNoSignal();

  // Calls read(frontBuffer) under the lock; false (without calling) while there is no bitmap.
  template <typename Read>
  bool ReadFront(Read&& read) const {
    std::lock_guard<std::mutex> lock(guard_);
    if (front_ == nullptr) return false;
    read(static_cast<const uint8_t*>(front_));
    return true;
  }

 private:
  mutable std::mutex guard_;
  std::unique_ptr<uint8_t[]> memory_;
  uint8_t* front_ = nullptr;
  uint8_t* back_ = nullptr;
  int frontDirty_ = 0;
  int backDirty_ = 0;
};

}  // namespace live
