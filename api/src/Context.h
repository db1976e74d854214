// The library's process-wide state: connection, acquisition, frame ring and change mask.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "Semaphore.h"
#include "usb/Backend.h"

namespace qel {

// Thread states used by both library threads.
enum ThreadState : int { kStarting = 0, kRunning = 1, kEnded = 2 };

// Polls a thread's state word every millisecond until it leaves value: how QEL_Init and QEL_Term
// wait for a library thread to start or end.
inline void WaitWhile(const std::atomic<int>& state, int value) {
  while (state.load() == value) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

constexpr int kRingBuffers = 4;
constexpr uint32_t kRingBufferSize = 1u << 20;
constexpr int kSemaphoreMax = 60;
constexpr int kPresenceCycleMs = 50;
// After a removal the connected flag stays 0 at least this long before the unit is opened again,
// so a program that polls QEL_GetStatus (the viewer's monitor asks every 100 ms) sees every
// re-plug, however short the pull, and restores what the unit lost at power-up.
constexpr int kRemovalHoldMs = 200;
constexpr int kReadTimeoutMs = 3000;

struct Context {
  // Backend chosen at QEL_Init (platform or simulated unit).
  std::unique_ptr<usb::Backend> backend;

  // The opened unit; swapped out under the mutex before it is released, so a caller that has
  // taken a reference keeps the device alive until its transfer returns.
  std::mutex deviceMutex;
  std::shared_ptr<usb::Device> device;
  std::atomic<bool> open{false};
  usb::PipeInfo pipes;

  // Connection thread.
  std::thread connectionThread;
  std::atomic<int> connectionState{kEnded};
  std::atomic<bool> connectionRun{false};
  std::atomic<int> connected{0};

  // Acquisition thread.
  std::thread acquisitionThread;
  std::atomic<int> acquisitionState{kStarting};
  std::atomic<bool> acquisitionRun{false};
  std::atomic<bool> inTransfer{false};

  // Frame ring. The acquisition thread fills a buffer that is neither the newest frame nor being
  // copied by a reader, stores its length and then publishes it; readers copy the newest. A
  // reader announces its copy in readers[i] and the writer its target in writing (each checks
  // the other's word after writing its own), so a frame is never overwritten mid-copy. A
  // published frame is sequence * 4 + buffer index; the sequence never restarts while the ring
  // lives, so the newest frame stays readable (and is recognised as the same frame) across a
  // reconnection, while the frame counter restarts with every acquisition thread.
  std::unique_ptr<uint8_t[]> ringMemory;
  uint8_t* buffers[kRingBuffers] = {};
  std::atomic<int> bufferCount{0};
  std::atomic<uint32_t> readSize{0};
  std::atomic<uint32_t> lengths[kRingBuffers] = {};
  std::atomic<uint32_t> frameCounter{0};
  std::atomic<uint64_t> published{0};  // 0: no frame yet (frame-available flag 0)
  std::atomic<uint64_t> lastReturned{0};
  std::atomic<int> readers[kRingBuffers] = {};
  std::atomic<int> writing{-1};
  std::atomic<int> ringUsers{0};  // callers inside QEL_GetFrame; the ring is freed only at 0
  DataSemaphore semaphore;

  // Change-mask accumulator and its guard.
  std::mutex changeMaskGuard;
  uint8_t changeMask[6] = {};

  // Parameter shadow (576 bytes); lives in the context so a late caller never touches freed
  // memory.
  uint8_t shadow[576] = {};
  // Held by a shadowed parameter access from its register transfer to its shadow update, and
  // by a whole parameter save or load: a getter on another thread could otherwise put a value
  // read before a load back into the shadow the load restores from.
  std::mutex shadowGuard;

  // Library file version words, read at QEL_Init.
  std::atomic<uint32_t> version{0};
};

Context& Ctx();

// Connection-thread helpers shared with the acquisition code.
void StartAcquisition();
void StopAcquisition();
void AllocateRing();
void ReleaseRing();

}  // namespace qel
