// Waiting on the library's data semaphore.
#include "viewer/live/core/SemaphoreWait.h"

#include <algorithm>
#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <semaphore.h>

#include <cerrno>
#include <ctime>
#endif

namespace live {

bool WaitDataSemaphore(QEL_HANDLE handle, int timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  if (handle == nullptr) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return false;
  }
#ifdef _WIN32
  return WaitForSingleObject(static_cast<HANDLE>(handle), DWORD(timeoutMs)) == WAIT_OBJECT_0;
#else
  sem_t* sem = static_cast<sem_t*>(handle);
  if (timeoutMs == 0) {
    int r;
    do r = sem_trywait(sem);
    while (r != 0 && errno == EINTR);
    return r == 0;
  }
  // The monotonic clock keeps a wall-clock change from stretching or cutting the wait.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += long(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  int r;
  do r = sem_clockwait(sem, CLOCK_MONOTONIC, &deadline);
  while (r != 0 && errno == EINTR);
  return r == 0;
#endif
}

bool WaitDataSemaphore(QEL_HANDLE handle, int timeoutMs, const std::function<bool()>& keepWaiting) {
  constexpr int kSliceMs = 20;
  while (keepWaiting()) {
    const int slice = std::min(timeoutMs, kSliceMs);
    if (WaitDataSemaphore(handle, slice)) return true;
    timeoutMs -= slice;
    if (timeoutMs <= 0) return false;
  }
  return false;
}

void DrainDataSemaphore(QEL_HANDLE handle) {
  if (handle == nullptr) return;
  while (WaitDataSemaphore(handle, 0)) {
  }
}

}  // namespace live
