// Pure helpers shared by the platform backends: endpoint classification, device path cutting and
// the bounded wait for a cancelled read.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "usb/Backend.h"

namespace usb {

// Transfer type of an endpoint as in bits 1..0 of its bmAttributes; WinUSB's pipe types and
// libusb's transfer types use the same numbering.
enum class EndpointType : uint8_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

constexpr uint8_t kEndpointDirectionIn = 0x80;

// Longest device path kept by an open; longer paths are cut to this many characters.
constexpr size_t kMaxDevicePathChars = 255;

// Records one endpoint of the unit's interface: bulk with the direction bit becomes the bulk-in
// pipe, bulk without it the bulk-out pipe, interrupt the interrupt pipe. Any other type is not
// one the unit has, so the open must fail: returns false and leaves pipes unchanged.
inline bool RecordPipe(PipeInfo& pipes, uint8_t type, uint8_t address) {
  switch (static_cast<EndpointType>(type)) {
    case EndpointType::Bulk:
      if ((address & kEndpointDirectionIn) != 0) {
        pipes.bulkIn = address;
      } else {
        pipes.bulkOut = address;
      }
      return true;
    case EndpointType::Interrupt:
      pipes.interrupt = address;
      return true;
    default:
      return false;
  }
}

// The device path as kept by the open: the text up to its terminator, but never more than the
// available characters of the source block nor more than kMaxDevicePathChars.
inline std::string CutDevicePath(const char* path, size_t available) {
  if (path == nullptr) return {};
  size_t length = 0;
  while (length < available && length < kMaxDevicePathChars && path[length] != '\0') ++length;
  return std::string(path, length);
}

// How long a cancelled bulk read may take to complete, and the step at which the cancel is
// repeated meanwhile. A driver that never completes the cancel must not hold the reading thread,
// and through it the connection thread and QEL_Term, for good.
constexpr std::chrono::milliseconds kCancelLimit{1000};
constexpr std::chrono::milliseconds kCancelStep{100};

// Cancels an outstanding read and waits for it: cancel(), then wait(kCancelStep), repeated until
// completed() holds. wait may return early but never waits longer than its step, so the whole
// takes at most kCancelLimit. Returns whether the read completed; when it did not, the platform
// may still write its buffer and structures, which must then be left to it.
template <typename Completed, typename Cancel, typename Wait>
bool CancelAndWait(Completed completed, Cancel cancel, Wait wait) {
  for (auto waited = std::chrono::milliseconds(0); !completed(); waited += kCancelStep) {
    if (waited >= kCancelLimit) return false;
    cancel();
    wait(kCancelStep);
  }
  return true;
}

// Keeps what a read whose cancel never completed may still write (its buffer and platform
// structures) for the rest of the process: it stays reachable, and nothing frees it under a
// completion that may yet come. Costs one block per such read, which only a failing driver makes.
template <typename Block>
void KeepForever(std::unique_ptr<Block> block) {
  static std::mutex mutex;
  static auto* kept = new std::vector<std::unique_ptr<Block>>();
  std::lock_guard<std::mutex> lock(mutex);
  kept->push_back(std::move(block));
}

}  // namespace usb
