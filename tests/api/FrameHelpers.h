// Helpers for tests that consume frames: waiting on the data semaphore and checking frames.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "QEL_API.h"

#if !defined(_WIN32)
#include <semaphore.h>
#endif

namespace qeltest {

constexpr uint32_t kFrame40K = 202 * 202 * 4;
constexpr uint32_t kFrame160K = 404 * 404 * 4;

// Waits up to timeoutMs for one signal of the data semaphore; true when one was taken.
inline bool WaitData(QEL_HANDLE handle, int timeoutMs) {
  auto* sem = static_cast<sem_t*>(handle);
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += timeoutMs / 1000;
  deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (sem_timedwait(sem, &deadline) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// Takes every pending signal without waiting; returns how many there were.
inline int DrainData(QEL_HANDLE handle) {
  int taken = 0;
  while (sem_trywait(static_cast<sem_t*>(handle)) == 0) ++taken;
  return taken;
}

inline int SemaphoreCount(QEL_HANDLE handle) {
  int value = -1;
  sem_getvalue(static_cast<sem_t*>(handle), &value);
  return value;
}

inline uint16_t Word(const uint8_t* frame, size_t wordIndex) {
  return static_cast<uint16_t>(frame[2 * wordIndex] | frame[2 * wordIndex + 1] << 8);
}

// True when the frame has its size's length and the four marker words.
inline bool FrameLooksRight(const uint8_t* frame, uint32_t length) {
  if (length != kFrame40K && length != kFrame160K) return false;
  const size_t words = length / 2;
  return Word(frame, 0) == 0xFF00 && Word(frame, 1) == 0x0080 && Word(frame, words - 2) == 0xFF00 &&
         Word(frame, words - 1) == 0x009D;
}

// The simulated unit numbers each frame in the boundary pixels next to both markers; a frame
// copied while it was being overwritten carries two different numbers.
inline bool FrameIsWhole(const uint8_t* frame, uint32_t length) {
  return length >= 16 && Word(frame, 2) == Word(frame, length / 2 - 4);
}

}  // namespace qeltest
