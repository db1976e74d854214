// The decoding thread of playback: decodes the frames of a media file ahead of the clock into a
// few picture slots, so the GUI thread only swaps a finished picture in when its time comes.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "viewer/playback/core/MediaFile.h"

namespace playback {

class FrameDecoder {
 public:
  // One slot is on screen, the others hold the next frames.
  static constexpr int kSlots = 4;

  // `ready` runs on the decoding thread whenever a frame that is already wanted is finished,
  // or a frame failed; it must not block.
  FrameDecoder(std::unique_ptr<MediaFile> media, std::function<void()> ready);
  // Stops and joins the thread.
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Allocates the slots and starts decoding from frame 0; false when the memory is not there.
  bool Start();

  const MediaFile& Media() const { return *media_; }
  // Bytes from one picture row to the next.
  size_t Stride() const { return stride_; }

  // Frames before `wanted` are no longer needed. When frame `wanted` is finished and not yet
  // shown, its slot becomes the shown one and its pixels are returned; they stay untouched until
  // the next frame is taken. Null otherwise.
  const uint8_t* Take(uint64_t wanted);

  // First frame that could not be read or decoded, or -1.
  int64_t FailedFrame() const;

 private:
  enum class SlotState { Free, Decoding, Ready, Shown };
  struct Slot {
    SlotState state = SlotState::Free;
    uint64_t index = 0;
    uint8_t* pixels = nullptr;
  };

  void Run();
  int FreeSlot() const;
  // The frame the thread decodes next, or FrameCount() when there is none to decode.
  uint64_t NextToDecode() const;

  std::unique_ptr<MediaFile> media_;
  std::function<void()> ready_;
  size_t stride_ = 0;
  std::unique_ptr<uint8_t[]> memory_;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::array<Slot, kSlots> slots_{};
  uint64_t wanted_ = 0;  // the frame the clock has reached
  uint64_t next_ = 0;    // the frame after the last one started
  int64_t failed_ = -1;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace playback
