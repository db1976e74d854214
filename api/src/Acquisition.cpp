// The acquisition thread, the frame ring of four buffers and the frame functions.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "Context.h"
#include "Core.h"
#include "QEL_API.h"

namespace qel {
namespace {

enum ReadResult { kReadOk = 0, kReadFailed = 1, kReadAbandoned = 2 };

// One bulk read of a whole frame into buffer. Polls in steps of at most 1 ms so that a cleared
// in-transfer flag or a vanished unit ends the wait at once.
ReadResult ReadFrame(uint8_t* buffer, uint32_t size, uint32_t& transferred) {
  Context& ctx = Ctx();
  transferred = 0;
  std::shared_ptr<usb::Device> device = CurrentDevice();
  if (!device) return kReadFailed;
  if (!device->SubmitRead(buffer, size)) return kReadFailed;

  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    if (!IsOpen()) {
      device->AbortRead();
      return kReadFailed;
    }
    uint32_t count = 0;
    const usb::ReadState state = device->PollRead(count, 1);
    if (state == usb::ReadState::Done) {
      transferred = count;
      return kReadOk;
    }
    if (state == usb::ReadState::Failed) return kReadFailed;
    const auto waited = std::chrono::steady_clock::now() - start;
    if (waited >= std::chrono::milliseconds(kReadTimeoutMs) || !ctx.inTransfer.load()) break;
  }
  device->AbortRead();
  return IsOpen() ? kReadAbandoned : kReadFailed;
}

void AcquisitionThread() {
  Context& ctx = Ctx();
  ctx.frameCounter.store(0);
  // Continue after the newest frame so a reader still copying it is never overwritten.
  uint64_t published = ctx.published.load();
  uint64_t sequence = published >> 2;
  int index = published == 0 ? 0 : static_cast<int>((published + 1) % kRingBuffers);
  ctx.acquisitionState.store(kRunning);
  std::this_thread::yield();

  while (ctx.acquisitionRun.load()) {
    if (ctx.bufferCount.load() == 0) break;
    uint32_t transferred = 0;
    ctx.inTransfer.store(true);
    const ReadResult result = ReadFrame(ctx.buffers[index], ctx.readSize.load(), transferred);
    ctx.inTransfer.store(false);
    if (result != kReadOk || transferred == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    ctx.lengths[index].store(transferred, std::memory_order_relaxed);
    ++sequence;
    ctx.published.store(sequence * kRingBuffers + static_cast<uint64_t>(index),
                        std::memory_order_release);
    ctx.frameCounter.fetch_add(1, std::memory_order_release);
    ctx.semaphore.Release();
    index = (index + 1) % kRingBuffers;
  }
  ctx.acquisitionState.store(kEnded);
}

void WaitWhile(const std::atomic<int>& word, int value) {
  while (word.load() == value) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace

void StartAcquisition() {
  Context& ctx = Ctx();
  if (ctx.acquisitionThread.joinable()) ctx.acquisitionThread.join();
  ctx.acquisitionState.store(kStarting);
  ctx.acquisitionRun.store(true);
  ctx.acquisitionThread = std::thread(AcquisitionThread);
  WaitWhile(ctx.acquisitionState, kStarting);
}

void StopAcquisition() {
  Context& ctx = Ctx();
  if (ctx.acquisitionState.load() == kRunning) {
    ctx.acquisitionRun.store(false);
    ctx.inTransfer.store(false);
    WaitWhile(ctx.acquisitionState, kRunning);
  }
  if (ctx.acquisitionThread.joinable()) ctx.acquisitionThread.join();
  ctx.acquisitionState.store(kStarting);
}

void AllocateRing() {
  Context& ctx = Ctx();
  ctx.ringMemory.reset(new uint8_t[static_cast<size_t>(kRingBuffers) * kRingBufferSize]);
  for (int i = 0; i < kRingBuffers; ++i) {
    ctx.buffers[i] = ctx.ringMemory.get() + static_cast<size_t>(i) * kRingBufferSize;
    ctx.lengths[i].store(0);
  }
  ctx.published.store(0);
  ctx.lastReturned.store(0);
  ctx.frameCounter.store(0);
  ctx.readSize.store(kRingBufferSize);
  ctx.semaphore.Create(kSemaphoreMax);
  ctx.bufferCount.store(kRingBuffers);
}

void ReleaseRing() {
  Context& ctx = Ctx();
  // New callers of QEL_GetFrame see no buffers; wait for those already copying.
  ctx.bufferCount.store(0);
  ctx.readSize.store(0);
  while (ctx.ringUsers.load() != 0) std::this_thread::yield();
  ctx.semaphore.Destroy();
  for (auto*& buffer : ctx.buffers) buffer = nullptr;
  ctx.ringMemory.reset();
  ctx.published.store(0);
}

}  // namespace qel

using namespace qel;

extern "C" {

QEL_EXPORT int QEL_CALL QEL_GetDataSemaphoHandle(QEL_HANDLE* handle) {
  if (handle == nullptr) return -1;
  *handle = Ctx().semaphore.Handle();
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_GetIndex(int* index) {
  if (index == nullptr) return -1;
  *index = static_cast<int>(Ctx().frameCounter.load(std::memory_order_acquire));
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_GetFrame(unsigned char* destination, unsigned int size,
                                     unsigned int* length) {
  Context& ctx = Ctx();
  struct RingUse {
    Context& ctx;
    explicit RingUse(Context& c) : ctx(c) { ctx.ringUsers.fetch_add(1); }
    ~RingUse() { ctx.ringUsers.fetch_sub(1); }
  } use(ctx);
  if (ctx.bufferCount.load() == 0) return -1;
  const uint64_t frame = ctx.published.load(std::memory_order_acquire);
  if (frame == 0) return -1;
  if (size != 0 && destination == nullptr) return -1;

  const uint64_t previous = ctx.lastReturned.exchange(frame);
  const int index = static_cast<int>(frame % kRingBuffers);
  const uint32_t frameLength = ctx.lengths[index].load(std::memory_order_relaxed);
  const uint32_t count = std::min<uint32_t>(size, frameLength);
  if (count != 0) std::memcpy(destination, ctx.buffers[index], count);
  if (length != nullptr) *length = frameLength;
  return frame == previous ? 1 : 0;
}

}  // extern "C"
