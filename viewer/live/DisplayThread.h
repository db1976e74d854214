// The display thread: consumer of the frame stream, renderer of the live view and the only place
// where frames are handed on, to the frame sinks registered with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "viewer/live/FrameSink.h"
#include "viewer/shell/WorkerThread.h"

namespace shell {

class DisplayThread : public WorkerThread {
 public:
  DisplayThread() = default;
  ~DisplayThread() { Finish(); }

  // Figures for tests and benchmarks: frames shown since Start and the frame side of the last
  // one (202 or 404).
  uint64_t FramesDisplayed() const { return framesDisplayed_.load(); }
  int LastFrameSide() const { return lastFrameSide_.load(); }

  // The consumers of every checked frame, in order; changed only while the thread is stopped.
  live::FrameSinks& Sinks() { return sinks_; }

 private:
  void Prepare() override;
  void Body() override;

  live::FrameSinks sinks_;
  std::atomic<uint64_t> framesDisplayed_{0};
  std::atomic<int> lastFrameSide_{0};
};

}  // namespace shell
