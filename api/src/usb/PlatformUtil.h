// Pure helpers shared by the platform backends: endpoint classification and device path cutting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace usb
