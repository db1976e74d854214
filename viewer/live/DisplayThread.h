// The display thread: consumer of the frame stream, renderer of the live view and the only place
// where frames are handed on (recorder, still capture, CSV export).
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace shell {

class DisplayThread {
 public:
  DisplayThread() = default;
  DisplayThread(const DisplayThread&) = delete;
  DisplayThread& operator=(const DisplayThread&) = delete;
  ~DisplayThread();

  // Starts the thread and returns once it runs. Does nothing while it already runs.
  void Start();
  // Clears the run flag and waits until the thread has ended (serving queued GUI calls when
  // called on the GUI thread). Returns at once when it is not running.
  void Stop();

  bool Running() const { return state_.load() == 1; }

  // Figures for tests and benchmarks: frames shown since Start, the frame side of the last one
  // (202 or 404) and the native handle for CPU-time measurements.
  uint64_t FramesDisplayed() const { return framesDisplayed_.load(); }
  int LastFrameSide() const { return lastFrameSide_.load(); }
  std::thread::native_handle_type NativeHandle() { return thread_.native_handle(); }

 private:
  void Run();

  std::thread thread_;
  std::atomic<bool> run_{false};
  std::atomic<int> state_{2};
  std::atomic<uint64_t> framesDisplayed_{0};
  std::atomic<int> lastFrameSide_{0};
};

}  // namespace shell
