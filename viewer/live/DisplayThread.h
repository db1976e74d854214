// The display thread: consumer of the frame stream, renderer of the live view and the only place
// where frames are handed on (recorder, still capture, CSV export).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "viewer/shell/WorkerThread.h"

namespace live {

class DisplayThread : public shell::WorkerThread {
 public:
  DisplayThread() = default;
  ~DisplayThread() { Finish(); }

  // Figures for tests and benchmarks: frames shown since Start and the frame side of the last
  // one (202 or 404).
  uint64_t FramesDisplayed() const { return framesDisplayed_.load(); }
  int LastFrameSide() const { return lastFrameSide_.load(); }

 private:
  void Prepare() override;
  void Body() override;

  std::atomic<uint64_t> framesDisplayed_{0};
  std::atomic<int> lastFrameSide_{0};
};

}  // namespace live
