// Library start and stop, the connection thread, version, status and device information.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "Context.h"
#include "Core.h"
#include "QEL_API.h"
#include "sim/Sim.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace qel {
namespace {

std::mutex lifecycleMutex;  // QEL_Init and QEL_Term do not overlap each other

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

uint32_t PackVersion(unsigned major, unsigned minor, unsigned build, unsigned priv) {
  return (major & 0xFFu) << 24 | (minor & 0xFFu) << 16 | (build & 0xFFu) << 8 | (priv & 0xFFu);
}

#if defined(_WIN32)
// Reads the file version from the library's own version resource; 0 when it has none.
uint32_t ReadFileVersion() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ReadFileVersion), &module)) {
    return 0;
  }
  char path[4096];
  DWORD pathLength = GetModuleFileNameA(module, path, sizeof path);
  if (pathLength == 0 || pathLength >= sizeof path) return 0;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return 0;
  std::unique_ptr<char[]> data(new char[size]);
  if (!GetFileVersionInfoA(path, 0, size, data.get())) return 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT infoLength = 0;
  char root[] = "\\";
  if (!VerQueryValueA(data.get(), root, reinterpret_cast<void**>(&info), &infoLength) ||
      info == nullptr || infoLength < sizeof(VS_FIXEDFILEINFO)) {
    return 0;
  }
  return PackVersion(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                     HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
}
#else
// The file version is compiled in from the project version.
uint32_t ReadFileVersion() {
  return PackVersion(QEL_VERSION_MAJOR, QEL_VERSION_MINOR, QEL_VERSION_BUILD, QEL_VERSION_PRIVATE);
}
#endif

// Takes the device out of the context first, then drops the context's reference; a caller
// still inside a transfer holds its own reference and releases the device when it returns.
void CloseUnit() {
  Context& ctx = Ctx();
  std::shared_ptr<usb::Device> old;
  {
    std::lock_guard<std::mutex> lock(ctx.deviceMutex);
    ctx.open.store(false, std::memory_order_release);
    old.swap(ctx.device);
    ctx.pipes = usb::PipeInfo{};
  }
  old.reset();
}

bool OpenUnit() {
  Context& ctx = Ctx();
  CloseUnit();
  std::unique_ptr<usb::Device> opened;
  if (!ctx.backend || ctx.backend->Open(opened) != usb::OpenResult::Ok || !opened) return false;
  std::lock_guard<std::mutex> lock(ctx.deviceMutex);
  ctx.pipes = opened->Pipes();
  ctx.device = std::shared_ptr<usb::Device>(std::move(opened));
  ctx.open.store(true, std::memory_order_release);
  return true;
}

// A fixed-size information block of the unit: min(size, blockSize) bytes reach the caller, and
// only after a successful transfer.
int ReadInformation(uint8_t request, uint16_t index, size_t blockSize, unsigned size,
                    unsigned char* buffer) {
  const size_t count = std::min<size_t>(size, blockSize);
  if (count != 0 && buffer == nullptr) return -1;
  uint8_t block[kDevInfoSize] = {};
  if (ControlIn(request, 0, index, block, static_cast<uint16_t>(blockSize)) != 0) return 1;
  if (count != 0) std::memcpy(buffer, block, count);
  return 0;
}
static_assert(kDevInfoSize >= kFormatInfoSize);

void StopAndClose() {
  StopAcquisition();
  CloseUnit();
}

void ConnectionThread() {
  Context& ctx = Ctx();
  ctx.connected.store(0);
  // The ring and the semaphore exist before QEL_Init returns, so a caller can take the
  // semaphore handle right away.
  ReleaseRing();
  AllocateRing();
  ResetShadow();
  ctx.connectionState.store(kRunning);

  using Clock = std::chrono::steady_clock;
  Clock::time_point reopenAt{};
  while (ctx.connectionRun.load()) {
    if (ctx.connected.load()) {
      std::shared_ptr<usb::Device> device = CurrentDevice();
      const bool attached = device && device->Attached();
      device.reset();
      if (!attached || ctx.backend->CountPresent() == 0) {
        StopAndClose();
        ctx.connected.store(0);
        reopenAt = Clock::now() + std::chrono::milliseconds(kRemovalHoldMs);
      }
    } else if (Clock::now() >= reopenAt && OpenUnit()) {
      // Acquisition first, so a caller that sees the unit connected also sees the frame
      // counter restarted for it.
      if (ctx.acquisitionState.load() != kRunning) StartAcquisition();
      ctx.connected.store(1);
    }
    // Sleep the cycle in short steps so QEL_Term is answered promptly.
    for (int slept = 0; slept < kPresenceCycleMs && ctx.connectionRun.load(); slept += 5) {
      SleepMs(5);
    }
  }

  StopAndClose();
  ReleaseRing();
  ctx.connected.store(0);
  ctx.connectionState.store(kEnded);
}

}  // namespace
}  // namespace qel

using namespace qel;

extern "C" {

QEL_EXPORT int QEL_CALL QEL_Init(void) {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  Context& ctx = Ctx();
  if (ctx.connectionState.load() == kRunning) return 0;
  if (ctx.connectionThread.joinable()) ctx.connectionThread.join();

  ctx.version.store(0);
  ctx.version.store(ReadFileVersion());

  ctx.backend = sim::Enabled() ? sim::CreateBackend() : usb::CreatePlatformBackend();
  {
    std::lock_guard<std::mutex> guard(ctx.changeMaskGuard);
    std::memset(ctx.changeMask, 0, sizeof ctx.changeMask);
  }
  ctx.acquisitionState.store(kStarting);
  ctx.connectionState.store(kStarting);
  ctx.connectionRun.store(true);
  ctx.connectionThread = std::thread(ConnectionThread);
  WaitWhile(ctx.connectionState, kStarting);
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_Term(void) {
  std::lock_guard<std::mutex> lock(lifecycleMutex);
  Context& ctx = Ctx();
  ctx.connectionRun.store(false);
  if (ctx.connectionState.load() == kRunning) {
    WaitWhile(ctx.connectionState, kRunning);
  }
  if (ctx.connectionThread.joinable()) ctx.connectionThread.join();
  ctx.backend.reset();
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_GetStatus(int* status) {
  if (status == nullptr) return -1;
  *status = Ctx().connected.load() ? 1 : 0;
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_GetVersion(uint32_t* version) {
  if (version == nullptr) return -1;
  *version = Ctx().version.load();
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_GetDevInfo(unsigned int size, unsigned char* buffer) {
  return ReadInformation(kReqDevInfo, 0, kDevInfoSize, size, buffer);
}

QEL_EXPORT int QEL_CALL QEL_GetDevFormatInfo(unsigned int index, unsigned int size,
                                             unsigned char* buffer) {
  // Only bit 0 of the index selects a record.
  return ReadInformation(kReqFormatInfo, static_cast<uint16_t>(index & 1u), kFormatInfoSize, size,
                         buffer);
}

}  // extern "C"
