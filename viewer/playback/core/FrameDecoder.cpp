// Decoding ahead into picture slots. The thread never waits for the GUI thread (it only calls
// `ready`, which posts), so joining it cannot deadlock; it sleeps on a condition variable, so a
// stop or a freed slot takes effect at once.
#include "viewer/playback/core/FrameDecoder.h"

#include <algorithm>
#include <new>

namespace playback {

FrameDecoder::FrameDecoder(std::unique_ptr<MediaFile> media, std::function<void()> ready)
    : media_(std::move(media)), ready_(std::move(ready)) {}

FrameDecoder::~FrameDecoder() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool FrameDecoder::Start() {
  stride_ = size_t(media_->Width()) * 4;
  const size_t bytes = stride_ * size_t(media_->Height());
  memory_.reset(new (std::nothrow) uint8_t[bytes * kSlots]);
  if (!memory_) return false;
  for (int s = 0; s < kSlots; ++s) slots_[s].pixels = memory_.get() + bytes * size_t(s);
  thread_ = std::thread([this] { Run(); });
  return true;
}

int FrameDecoder::FreeSlot() const {
  for (int s = 0; s < kSlots; ++s) {
    if (slots_[s].state == SlotState::Free) return s;
  }
  return -1;
}

uint64_t FrameDecoder::NextToDecode() const {
  return std::min(std::max(next_, wanted_), media_->FrameCount());
}

void FrameDecoder::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] {
      return stop_ || (failed_ < 0 && NextToDecode() < media_->FrameCount() && FreeSlot() >= 0);
    });
    if (stop_) return;
    Slot& slot = slots_[FreeSlot()];
    const uint64_t index = NextToDecode();
    next_ = index + 1;
    slot.state = SlotState::Decoding;
    slot.index = index;

    lock.unlock();
    const bool decoded = media_->Decode(index, slot.pixels, stride_);
    lock.lock();

    if (!decoded) failed_ = int64_t(index);
    // A frame the clock has passed meanwhile is dropped.
    slot.state = decoded && index >= wanted_ ? SlotState::Ready : SlotState::Free;
    if (!decoded || index == wanted_) {
      lock.unlock();
      ready_();
      lock.lock();
    }
  }
}

const uint8_t* FrameDecoder::Take(uint64_t wanted) {
  const uint8_t* pixels = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = std::max(wanted_, wanted);
    Slot* taken = nullptr;
    for (Slot& slot : slots_) {
      if (slot.state != SlotState::Ready) continue;
      if (slot.index < wanted_) {
        slot.state = SlotState::Free;
      } else if (slot.index == wanted_) {
        taken = &slot;
      }
    }
    if (taken != nullptr) {
      for (Slot& slot : slots_) {
        if (slot.state == SlotState::Shown) slot.state = SlotState::Free;
      }
      taken->state = SlotState::Shown;
      pixels = taken->pixels;
    }
  }
  wake_.notify_one();
  return pixels;
}

int64_t FrameDecoder::FailedFrame() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

}  // namespace playback
