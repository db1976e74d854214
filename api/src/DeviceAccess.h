// Register and EEPROM requests shared by the parameter, storage, head-record and raw families.
#pragma once

#include <cstdint>
#include <cstring>

#include "Core.h"

namespace qel {

// Record magic of the parameter record and the CIS EEPROM header: "QEL" and a zero byte.
constexpr uint8_t kMagic[4] = {'Q', 'E', 'L', 0};
constexpr uint8_t kRecordVersion = 1;

constexpr uint16_t kRegCisType = 0xF4;
// Registers below this number exist once per head type; the second bank starts at 0x80.
constexpr uint16_t kBankedLimit = 0x30;
constexpr uint16_t kBank1Offset = 0x80;

constexpr int kSelectorUnit = 0;
constexpr int kSelectorCis = 1;

inline bool HasMagic(const uint8_t* bytes) {
  return std::memcmp(bytes, kMagic, 4) == 0;
}

// Reads one register (two bytes, high byte first) into a zeroed buffer. 0 or 1.
inline int ReadRegister(uint16_t reg, uint8_t bytes[2]) {
  bytes[0] = 0;
  bytes[1] = 0;
  return ControlIn(kReqRegRead, 0, reg, bytes, 2);
}

inline int WriteRegister(uint16_t reg, const uint8_t bytes[2]) {
  return ControlOut(kReqRegWrite, 0, reg, bytes, 2);
}

// Head type from register 0xF4; a failed read counts as type 0 (40K).
inline int ReadCisType() {
  uint8_t bytes[2];
  if (ReadRegister(kRegCisType, bytes) != 0) return 0;
  return bytes[0] << 8 | bytes[1];
}

// Register number in the bank of the attached head; registers from 0x30 up are not banked.
inline uint16_t BankedRegister(uint16_t reg) {
  if (reg >= kBankedLimit) return reg;
  return ReadCisType() != 0 ? static_cast<uint16_t>(reg + kBank1Offset) : reg;
}

// Setup value of an EEPROM request: selector in bits 15..12, address bits 19..16 in bits 3..0.
inline uint16_t EepromSetupValue(int selector, uint32_t address) {
  return static_cast<uint16_t>(((static_cast<unsigned>(selector) & 0xF) << 12) +
                               ((address >> 16) & 0xF));
}

inline int EepromIn(int selector, uint32_t address, uint8_t* data, uint16_t length) {
  return ControlIn(kReqEepromRead, EepromSetupValue(selector, address),
                   static_cast<uint16_t>(address & 0xFFFF), data, length);
}

inline int EepromOut(int selector, uint32_t address, const uint8_t* data, uint16_t length) {
  return ControlOut(kReqEepromWrite, EepromSetupValue(selector, address),
                    static_cast<uint16_t>(address & 0xFFFF), data, length);
}

}  // namespace qel
