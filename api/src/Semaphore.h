// The data semaphore: a Win32 semaphore on Windows, a library-owned POSIX sem_t elsewhere.
#pragma once

#include <atomic>

namespace qel {

// Counting semaphore with initial count 0 and a fixed maximum. Create/Destroy run on the
// connection thread; Release on the acquisition thread; callers only wait on Handle(). Every
// Create makes a new semaphore, so the handle changes from one library start to the next.
class DataSemaphore {
 public:
  DataSemaphore() = default;
  DataSemaphore(const DataSemaphore&) = delete;
  DataSemaphore& operator=(const DataSemaphore&) = delete;
  ~DataSemaphore() { Destroy(); }

  bool Create(int maximum);
  void Destroy();
  // Adds one signal; beyond the maximum the release fails and is ignored.
  void Release();
  // The platform handle (HANDLE or sem_t*), or null when not created.
  void* Handle() const { return handle_.load(); }

 private:
  std::atomic<void*> handle_{nullptr};
  int maximum_ = 0;
};

}  // namespace qel
