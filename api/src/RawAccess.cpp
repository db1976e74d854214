// Raw access to the unit: registers, EEPROMs and I2C by number, the device status record, its
// change mask and the device status items.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "Core.h"
#include "DeviceAccess.h"
#include "QEL_API.h"

namespace qel {
namespace {

constexpr int kMaxLength = 0xFFFF;  // the setup packet's length field

// A length must fit the setup packet, and a buffer must exist when bytes are to move.
bool TransferArgsValid(int length, const void* buffer) {
  return length >= 0 && length <= kMaxLength && (buffer != nullptr || length == 0);
}

}  // namespace
}  // namespace qel

using namespace qel;

QEL_EXPORT int QEL_CALL QEL_DeviceRead(int value, int reg, int length, unsigned char* buffer) {
  if (!TransferArgsValid(length, buffer)) return -1;
  return ControlIn(kReqRegRead, static_cast<uint16_t>(value & 0xFFFF),
                   static_cast<uint16_t>(reg & 0xFFFF), buffer, static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_DeviceWrite(int value, int reg, int length, const unsigned char* data) {
  if (!TransferArgsValid(length, data)) return -1;
  return ControlOut(kReqRegWrite, static_cast<uint16_t>(value & 0xFFFF),
                    static_cast<uint16_t>(reg & 0xFFFF), data, static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_EepromRead(int selector, unsigned int address, int length,
                                       unsigned char* buffer) {
  if (!TransferArgsValid(length, buffer)) return -1;
  return EepromIn(selector, address, buffer, static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_EepromWrite(int selector, unsigned int address, int length,
                                        const unsigned char* data) {
  if (!TransferArgsValid(length, data)) return -1;
  return EepromOut(selector, address, data, static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_I2CRead(int address, int length, unsigned char* buffer) {
  if (!TransferArgsValid(length, buffer)) return -1;
  return ControlIn(kReqI2CRead, 0, static_cast<uint16_t>(address & 0x7F), buffer,
                   static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_I2CWrite(int address, int length, const unsigned char* data) {
  if (!TransferArgsValid(length, data)) return -1;
  return ControlOut(kReqI2CWrite, 0, static_cast<uint16_t>(address & 0x7F), data,
                    static_cast<uint16_t>(length));
}

QEL_EXPORT int QEL_CALL QEL_GetDevStatus(unsigned int size, unsigned char* buffer) {
  if (buffer == nullptr && size != 0) return -1;
  uint8_t status[kStatusSize];
  // The fetch also collects the change mask, whatever its result.
  const int result = FetchStatus(status);
  if (result == 0 && size != 0) std::memcpy(buffer, status, std::min<size_t>(size, kStatusSize));
  return result;
}

QEL_EXPORT int QEL_CALL QEL_GetFpgaStatus(unsigned int size, unsigned char* buffer) {
  if (buffer == nullptr) return -1;
  uint8_t status[kStatusSize];
  const int result = QEL_GetDevStatus(sizeof status, status);
  if (result != 0) return result;
  uint8_t mask[kChangeMaskSize];
  TakeChangeMask(mask);
  std::memcpy(buffer, mask, std::min<size_t>(size, kChangeMaskSize));
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_SetDevStatus(int item, const unsigned char* data) {
  if (data == nullptr) return -1;
  return ControlOut(kReqSetStatus, 0, static_cast<uint16_t>(item & 7), data, 3);
}
