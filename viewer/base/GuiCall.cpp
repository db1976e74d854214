// The GUI thread's job queue: workers append under a plain mutex and wake the GUI thread, which
// runs the jobs in order. Nothing of Qt is touched from a worker except, where no event file
// descriptor exists, one queued call to wake the GUI thread.
#include "viewer/base/GuiCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#ifdef __linux__
#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#endif

namespace base {
namespace {

// First-in first-out jobs in a ring that only grows, so posting allocates nothing once the
// ring has reached the size the traffic needs (the display thread posts every frame).
class JobRing {
 public:
  bool Empty() const { return count_ == 0; }
  void Push(std::function<void()> job) {
    if (count_ == slots_.size()) Grow();
    slots_[(head_ + count_) % slots_.size()] = std::move(job);
    ++count_;
  }
  std::function<void()> Pop() {
    std::function<void()> job = std::move(slots_[head_]);
    slots_[head_] = nullptr;
    head_ = (head_ + 1) % slots_.size();
    --count_;
    return job;
  }

 private:
  void Grow() {
    std::vector<std::function<void()>> larger(std::max<size_t>(64, 2 * slots_.size()));
    for (size_t i = 0; i < count_; ++i) larger[i] = std::move(slots_[(head_ + i) % slots_.size()]);
    slots_.swap(larger);
    head_ = 0;
  }

  std::vector<std::function<void()>> slots_;
  size_t head_ = 0;
  size_t count_ = 0;
};

struct GuiQueue {
  std::mutex mutex;
  JobRing jobs;
  bool wakePending = false;  // a wake-up is on its way; later posts need not send another
  std::atomic<bool> installed{false};
#ifdef __linux__
  int eventFd = -1;
  QPointer<QSocketNotifier> notifier;
#endif
};

GuiQueue& Queue() {
  static GuiQueue queue;
  return queue;
}

// GUI thread: runs every job, including those posted meanwhile.
void Drain() {
  GuiQueue& q = Queue();
  for (;;) {
    std::function<void()> job;
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      // Cleared for every job taken: a job may run a nested event loop (a message box, a wait
      // for a worker), and jobs posted meanwhile must wake that loop.
      q.wakePending = false;
      if (q.jobs.Empty()) return;
      job = q.jobs.Pop();
    }
    job();
  }
}

void Wake() {
#ifdef __linux__
  GuiQueue& q = Queue();
  if (q.eventFd >= 0) {
    const uint64_t one = 1;
    // A full counter still leaves the descriptor readable, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(q.eventFd, &one, sizeof one);
    return;
  }
#endif
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, &Drain, Qt::QueuedConnection);
  }
}

bool Post(std::function<void()> fn) {
  GuiQueue& q = Queue();
  if (QCoreApplication::instance() == nullptr) return false;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.jobs.Push(std::move(fn));
    wake = !q.wakePending;
    q.wakePending = true;
  }
  if (wake) Wake();
  return true;
}

}  // namespace

void InstallGuiQueue() {
  GuiQueue& q = Queue();
  if (q.installed.load() || !OnGuiThread()) return;
#ifdef __linux__
  q.eventFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (q.eventFd >= 0) {
    q.notifier =
        new QSocketNotifier(q.eventFd, QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(q.notifier, &QSocketNotifier::activated, [fd = q.eventFd] {
      uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = read(fd, &count, sizeof count);
      Drain();
    });
  }
#endif
  q.installed = true;
}

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void PostToGui(std::function<void()> fn) {
  Post(std::move(fn));
}

void SendToGui(std::function<void()> fn) {
  if (OnGuiThread()) {
    fn();
    return;
  }
  std::mutex mutex;
  std::condition_variable doneSignal;
  bool done = false;
  const bool posted = Post([&] {
    fn();
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    doneSignal.notify_one();
  });
  if (!posted) return;
  std::unique_lock<std::mutex> lock(mutex);
  doneSignal.wait(lock, [&] { return done; });
}

void ServeWhile(const std::function<bool()>& busy) {
  const bool gui = OnGuiThread();
  while (busy()) {
    if (gui) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace base
