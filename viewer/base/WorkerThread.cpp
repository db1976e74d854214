// Start and stop of the viewer's worker threads.
#include "viewer/base/WorkerThread.h"

#include "viewer/base/GuiCall.h"

namespace base {

void WorkerThread::Start() {
  if (state_.load() == kThreadRunning) return;
  if (thread_.joinable()) thread_.join();
  run_ = true;
  state_ = kThreadStarting;
  Prepare();
  thread_ = std::thread([this] {
    state_ = kThreadRunning;
    Body();
    state_ = kThreadEnded;
  });
  ServeWhile([this] { return state_.load() == kThreadStarting; });
}

void WorkerThread::Stop() {
  run_ = false;
  ServeWhile([this] { return state_.load() == kThreadRunning; });
  if (thread_.joinable()) thread_.join();
}

void WorkerThread::Finish() {
  run_ = false;
  if (thread_.joinable()) thread_.join();
}

}  // namespace base
