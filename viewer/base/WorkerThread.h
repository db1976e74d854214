// The start and stop protocol of the viewer's own threads: a run flag and a state word.
#pragma once

#include <atomic>
#include <thread>

#include "viewer/base/ViewState.h"

namespace base {

// A thread that is started and stopped by its owner. Start returns once the thread runs; Stop
// clears the run flag and waits until the thread has ended. On the GUI thread both waits keep
// serving queued GUI calls, so a worker that is updating a widget at that moment finishes.
class WorkerThread {
 public:
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Does nothing while the thread already runs.
  void Start();
  // Returns at once when the thread is not running.
  void Stop();

  bool Running() const { return state_.load() == kThreadRunning; }
  std::thread::native_handle_type NativeHandle() { return thread_.native_handle(); }

 protected:
  WorkerThread() = default;
  // Derived classes call Finish() in their own destructor, while their members still exist.
  ~WorkerThread() { Finish(); }

  // On the starting thread, before the new thread exists: reset the figures of a run.
  virtual void Prepare() {}
  // The thread's work; it returns soon after KeepRunning() turns false. The state word is
  // running before it is called and ended after it returned.
  virtual void Body() = 0;

  bool KeepRunning() const { return run_.load(); }
  void Finish();

 private:
  std::thread thread_;
  std::atomic<bool> run_{false};
  std::atomic<int> state_{kThreadEnded};
};

}  // namespace base
