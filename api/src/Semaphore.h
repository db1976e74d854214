// The data semaphore: a Win32 semaphore on Windows, a library-owned POSIX sem_t elsewhere.
#pragma once

namespace qel {

// Counting semaphore with initial count 0 and a fixed maximum. Create/Destroy run on the
// connection thread; Release on the acquisition thread; callers only wait on Handle().
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
  void* Handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
  int maximum_ = 0;
};

}  // namespace qel
