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
    // The run flag too: a stop that came just before the read was issued cleared the
    // in-transfer flag too early to be seen here.
    if (waited >= std::chrono::milliseconds(kReadTimeoutMs) || !ctx.inTransfer.load() ||
        !ctx.acquisitionRun.load()) {
      break;
    }
  }
  device->AbortRead();
  return IsOpen() ? kReadAbandoned : kReadFailed;
}

// Claims the first buffer from start on that holds neither the newest frame nor a reader's
// copy. Every buffer busy (several slow readers) waits for a copy to end. -1 when stopped.
int ClaimBuffer(int start) {
  Context& ctx = Ctx();
  for (;;) {
    const uint64_t newest = ctx.published.load();
    for (int k = 0; k < kRingBuffers; ++k) {
      const int candidate = (start + k) % kRingBuffers;
      if (newest != 0 && candidate == static_cast<int>(newest % kRingBuffers)) continue;
      ctx.writing.store(candidate);
      if (ctx.readers[candidate].load() == 0) return candidate;
    }
    ctx.writing.store(-1);
    if (!ctx.acquisitionRun.load()) return -1;
    std::this_thread::yield();
  }
}

void AcquisitionThread() {
  Context& ctx = Ctx();
  ctx.frameCounter.store(0);
  const uint64_t newest = ctx.published.load();
  uint64_t sequence = newest / kRingBuffers;
  int index = -1;
  int start = newest == 0 ? 0 : static_cast<int>((newest + 1) % kRingBuffers);
  ctx.acquisitionState.store(kRunning);
  std::this_thread::yield();

  while (ctx.acquisitionRun.load()) {
    if (ctx.bufferCount.load() == 0) break;
    if (index < 0 && (index = ClaimBuffer(start)) < 0) break;
    uint32_t transferred = 0;
    ctx.inTransfer.store(true);
    const ReadResult result = ReadFrame(ctx.buffers[index], ctx.readSize.load(), transferred);
    ctx.inTransfer.store(false);
    if (result != kReadOk || transferred == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;  // the same buffer stays claimed
    }
    ctx.lengths[index].store(transferred, std::memory_order_relaxed);
    ctx.writing.store(-1);
    ++sequence;
    ctx.published.store(sequence * kRingBuffers + static_cast<uint64_t>(index));
    ctx.frameCounter.fetch_add(1);
    ctx.semaphore.Release();
    start = (index + 1) % kRingBuffers;
    index = -1;
  }
  ctx.writing.store(-1);
  ctx.acquisitionState.store(kEnded);
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
  ctx.writing.store(-1);
  for (auto& count : ctx.readers) count.store(0);
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
  if (size != 0 && destination == nullptr) return -1;

  // Pin the newest frame's buffer; if the writer has meanwhile claimed it (the frame is no longer
  // the newest), let go and take the newer one.
  uint64_t frame = 0;
  int index = 0;
  for (;;) {
    frame = ctx.published.load();
    if (frame == 0) return -1;
    index = static_cast<int>(frame % kRingBuffers);
    ctx.readers[index].fetch_add(1);
    if (ctx.writing.load() != index) break;
    ctx.readers[index].fetch_sub(1);
    std::this_thread::yield();
  }
  const uint32_t frameLength = ctx.lengths[index].load(std::memory_order_relaxed);
  const uint32_t count = std::min<uint32_t>(size, frameLength);
  if (count != 0) std::memcpy(destination, ctx.buffers[index], count);
  ctx.readers[index].fetch_sub(1);

  const uint64_t previous = ctx.lastReturned.exchange(frame);
  if (length != nullptr) *length = frameLength;
  return frame == previous ? 1 : 0;
}

}  // extern "C"
