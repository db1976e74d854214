// Platform implementations of the data semaphore.
#include "Semaphore.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <semaphore.h>
#endif

namespace qel {

#if defined(_WIN32)

bool DataSemaphore::Create(int maximum) {
  Destroy();
  maximum_ = maximum;
  handle_ = CreateSemaphoreA(nullptr, 0, maximum, nullptr);
  return handle_ != nullptr;
}

void DataSemaphore::Destroy() {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

void DataSemaphore::Release() {
  if (handle_ != nullptr) ReleaseSemaphore(static_cast<HANDLE>(handle_), 1, nullptr);
}

#else

bool DataSemaphore::Create(int maximum) {
  Destroy();
  auto* sem = new sem_t;
  if (sem_init(sem, 0, 0) != 0) {
    delete sem;
    return false;
  }
  maximum_ = maximum;
  handle_ = sem;
  return true;
}

void DataSemaphore::Destroy() {
  if (handle_ == nullptr) return;
  auto* sem = static_cast<sem_t*>(handle_);
  handle_ = nullptr;
  sem_destroy(sem);
  delete sem;
}

void DataSemaphore::Release() {
  auto* sem = static_cast<sem_t*>(handle_);
  if (sem == nullptr) return;
  // Only this thread posts, so the count cannot pass the maximum between the check and the post.
  int count = 0;
  if (sem_getvalue(sem, &count) == 0 && count < maximum_) sem_post(sem);
}

#endif

}  // namespace qel
