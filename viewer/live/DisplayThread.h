// The display thread: consumer of the frame stream, renderer of the live view and the only place
// where frames are handed on, to the frame sinks registered with it.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "viewer/base/WorkerThread.h"
#include "viewer/live/FrameSink.h"

namespace base {
struct Hooks;
struct ViewState;
}  // namespace base

namespace live {
class LiveView;
}

namespace live {

class DisplayThread : public base::WorkerThread {
 public:
  // Renders into the live view's display bitmap and shows it on displayTarget's image area.
  DisplayThread(base::ViewState& view, const base::Hooks& hooks, live::LiveView& live)
      : view_(view), hooks_(hooks), live_(live) {}
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

  base::ViewState& view_;
  const base::Hooks& hooks_;
  live::LiveView& live_;
  live::FrameSinks sinks_;
  std::atomic<uint64_t> framesDisplayed_{0};
  std::atomic<int> lastFrameSide_{0};
};

}  // namespace live
