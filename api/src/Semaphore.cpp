// Platform implementations of the data semaphore.
#include "Semaphore.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <semaphore.h>

#include <memory>
#include <mutex>
#include <vector>
#endif

namespace qel {

#if defined(_WIN32)

bool DataSemaphore::Create(int maximum) {
  Destroy();
  maximum_ = maximum;
  HANDLE semaphore = CreateSemaphoreA(nullptr, 0, maximum, nullptr);
  handle_.store(semaphore);
  return semaphore != nullptr;
}

void DataSemaphore::Destroy() {
  void* semaphore = handle_.exchange(nullptr);
  if (semaphore != nullptr) CloseHandle(static_cast<HANDLE>(semaphore));
}

void DataSemaphore::Release() {
  void* semaphore = handle_.load();
  if (semaphore != nullptr) ReleaseSemaphore(static_cast<HANDLE>(semaphore), 1, nullptr);
}

#else

namespace {

// A POSIX semaphore cannot be destroyed while a caller may still be waiting on it or about to
// (unlike a Win32 handle, whose waiters survive CloseHandle). Retired semaphores are therefore
// kept for the life of the process: a few bytes per library start.
std::mutex retiredMutex;
std::vector<std::unique_ptr<sem_t> >& Retired() {
  static auto* retired = new std::vector<std::unique_ptr<sem_t> >;
  return *retired;
}

}  // namespace

bool DataSemaphore::Create(int maximum) {
  Destroy();
  auto sem = std::make_unique<sem_t>();
  if (sem_init(sem.get(), 0, 0) != 0) return false;
  maximum_ = maximum;
  handle_.store(sem.release());
  return true;
}

void DataSemaphore::Destroy() {
  auto* sem = static_cast<sem_t*>(handle_.exchange(nullptr));
  if (sem == nullptr) return;
  std::lock_guard<std::mutex> lock(retiredMutex);
  Retired().emplace_back(sem);
}

void DataSemaphore::Release() {
  auto* sem = static_cast<sem_t*>(handle_.load());
  if (sem == nullptr) return;
  // Only this thread posts, so the count cannot pass the maximum between the check and the post.
  int count = 0;
  if (sem_getvalue(sem, &count) == 0 && count < maximum_) sem_post(sem);
}

#endif

}  // namespace qel
