// Library core shared by every exported family: device access, control framing, status fetch,
// change mask, EEPROM-ready wait and the parameter shadow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "usb/Backend.h"
#include "usb/Protocol.h"

namespace qel {

using namespace protocol;

constexpr size_t kShadowSize = 576;

// How long the EEPROM-ready wait keeps polling a unit that reports busy before giving up.
constexpr int kEepromReadyTimeoutMs = 2000;

// The opened unit, or null while none is open. The reference keeps the device alive for the
// duration of the caller's transfer even if the connection thread closes it meanwhile.
std::shared_ptr<usb::Device> CurrentDevice();

// True while an interface is open (a cheap check; the unit may still vanish a moment later).
bool IsOpen();

// One vendor control transfer: 0 success, 1 no unit open or the transfer failed.
int ControlIn(uint8_t request, uint16_t value, uint16_t index, uint8_t* data, uint16_t length);
int ControlOut(uint8_t request, uint16_t value, uint16_t index, const uint8_t* data,
               uint16_t length);

// Request 0x12 into a zeroed 16-byte record, then ORs bytes 10..15 into the change-mask
// accumulator (also after a failed or skipped transfer, when it adds nothing). 0 or 1.
int FetchStatus(uint8_t status[kStatusSize]);

// Copies the accumulated change mask to mask and clears the accumulator, under the guard.
void TakeChangeMask(uint8_t mask[kChangeMaskSize]);

// Waits until the EEPROM behind selector (0 unit, 1 CIS head) reports ready. 0 ready; 1 when the
// status fetch failed, the state is error or not present, or it stayed busy for
// kEepromReadyTimeoutMs.
int WaitEepromReady(int selector);

// The 576-byte parameter shadow; exists from QEL_Init to QEL_Term (contents otherwise stale).
uint8_t* Shadow();

// Resets the shadow to its creation state: 0xFF everywhere, header zeroed, magic and version.
void ResetShadow();

}  // namespace qel
