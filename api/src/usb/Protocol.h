// The camera unit's USB protocol as both sides see it: vendor requests, the status record,
// register and EEPROM maps, and the frame format. Shared by the library and the simulated unit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol {

// Vendor requests on the default control pipe.
enum Request : uint8_t {
  kReqDevInfo = 0x10,
  kReqFormatInfo = 0x11,
  kReqStatus = 0x12,
  kReqSetStatus = 0x13,
  kReqI2CRead = 0x14,
  kReqI2CWrite = 0x15,
  kReqEepromRead = 0x16,
  kReqEepromWrite = 0x17,
  kReqRegRead = 0x18,
  kReqRegWrite = 0x19,
};

constexpr size_t kDevInfoSize = 48;
constexpr size_t kFormatInfoSize = 8;
constexpr size_t kStatusSize = 16;
constexpr size_t kStatusItemSize = 3;
constexpr size_t kStatusItemCount = 8;
constexpr uint16_t kStatusItemDataFormat = 2;  // the data format is its middle byte

// Status record bytes.
constexpr size_t kStatusDataFormat = 1;
constexpr size_t kStatusUnitEeprom = 3;
constexpr size_t kStatusCisEeprom = 4;
constexpr size_t kChangeMaskOffset = 10;  // bytes 10..15: registers 0x00..0x2F changed
constexpr size_t kChangeMaskSize = 6;

// EEPROM states in status bytes 3 and 4.
enum EepromState : uint8_t {
  kEepromReady = 0,
  kEepromBusy = 1,
  kEepromError = 2,
  kEepromAbsent = 3
};

// EEPROM selectors and the setup value of an EEPROM request: selector in bits 15..12, address
// bits 19..16 in bits 3..0; the index carries address bits 15..0.
constexpr int kSelectorUnit = 0;
constexpr int kSelectorCis = 1;
constexpr uint16_t EepromSetupValue(int selector, uint32_t address) {
  return static_cast<uint16_t>(((static_cast<unsigned>(selector) & 0xF) << 12) +
                               ((address >> 16) & 0xF));
}

// Registers. Numbers below kBankedLimit exist once per head type, the second bank at +0x80.
constexpr uint16_t kBankedLimit = 0x30;
constexpr uint16_t kBank1Offset = 0x80;
constexpr uint16_t kRegAwb = 0x10;
constexpr uint16_t kRegCorrection = 0x23;
constexpr uint16_t kRegCisConnect = 0xF0;
constexpr uint16_t kRegLimitFlag = 0xF1;
constexpr uint16_t kRegCisType = 0xF4;
constexpr uint16_t kRegManualDetect = 0xF8;
constexpr uint16_t kRegFpgaVersion = 0xFF;
constexpr uint16_t kRegSensorAddress = 0x426;  // indirect access to the sensor's registers
constexpr uint16_t kRegSensorData = 0x427;
constexpr uint16_t kDpTableBase[2] = {0x100, 0x200};
constexpr uint16_t kDpTableRegisters = 64;
constexpr uint16_t kGammaTableBase[3] = {0xC000, 0xD000, 0xE000};
constexpr uint16_t kGammaTableRegisters = 4096;

// Record magic of the parameter record and of the head EEPROM header, and their version.
constexpr uint8_t kMagic[4] = {'Q', 'E', 'L', 0};
constexpr uint8_t kRecordVersion = 1;

// Head EEPROM map.
constexpr uint32_t kCisHeaderAddress = 0x00;
constexpr size_t kCisHeaderSize = 7;
constexpr uint32_t kCisSerialNoAddress = 0x10;
constexpr size_t kCisSerialNoSize = 14;
constexpr uint32_t kCisUseCountAddress = 0x20;
constexpr uint32_t kCisUseCountLimitAddress = 0x24;
constexpr uint32_t kCisGainAddress[2] = {0x30, 0x32};  // red, blue
constexpr uint32_t kCisImageFineAdjAddress = 0x34;
constexpr uint32_t kCisDpTableAddress[2] = {0x200, 0x400};
constexpr size_t kDpTableBytes = 128;

// Frames: N x N pixels of two little-endian 16-bit words, marker words in the first and last
// pixel.
constexpr int kFrameSide[2] = {202, 404};
constexpr uint32_t kFrameBytes[2] = {202u * 202u * 4u, 404u * 404u * 4u};
constexpr uint16_t kMarkerFirst[2] = {0xFF00, 0x0080};
constexpr uint16_t kMarkerLast[2] = {0xFF00, 0x009D};

}  // namespace protocol
