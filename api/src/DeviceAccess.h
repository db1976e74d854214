// Register and EEPROM requests shared by the parameter, storage, head-record and raw families.
#pragma once

#include <cstdint>
#include <cstring>

#include "Core.h"

namespace qel {

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

// Head type from register 0xF4 into type: 0 or the failed read's result (type then 0). A caller
// that cannot learn the type must fail rather than pick a bank: the two banks hold different
// values, and a guess writes or reports the wrong head's register.
inline int ReadCisType(int* type) {
  uint8_t bytes[2];
  *type = 0;
  const int result = ReadRegister(kRegCisType, bytes);
  if (result == 0) *type = bytes[0] << 8 | bytes[1];
  return result;
}

// Register number in the bank of the attached head into banked; registers from 0x30 up are not
// banked and need no type read. 0, or the failed type read's result.
inline int BankedRegister(uint16_t reg, uint16_t* banked) {
  *banked = reg;
  if (reg >= kBankedLimit) return 0;
  int type = 0;
  const int result = ReadCisType(&type);
  if (result == 0 && type != 0) *banked = static_cast<uint16_t>(reg + kBank1Offset);
  return result;
}

// Result codes shared by the EEPROM operations that move records in chunks.
constexpr int kReadFailed = 5;
constexpr int kNotReady = 6;
constexpr int kWriteFailed = 7;

// Two-byte values as the unit stores them, high byte first: a plain 16-bit word, or sign and
// magnitude (high byte 1 for negative values, low byte the magnitude's low 8 bits), as used by
// the gain registers and the head EEPROM's gain records.
inline void EncodePlain(int value, uint8_t bytes[2]) {
  const unsigned bits = static_cast<unsigned>(value);
  bytes[0] = static_cast<uint8_t>((bits >> 8) & 0xFF);
  bytes[1] = static_cast<uint8_t>(bits & 0xFF);
}

inline int DecodePlain(const uint8_t bytes[2]) {
  return bytes[0] << 8 | bytes[1];
}

inline void EncodeSignMagnitude(int value, uint8_t bytes[2]) {
  // Unsigned negation: the magnitude of INT_MIN must not overflow.
  const unsigned bits = static_cast<unsigned>(value);
  bytes[0] = value < 0 ? 1 : 0;
  bytes[1] = static_cast<uint8_t>((value < 0 ? 0u - bits : bits) & 0xFF);
}

inline int DecodeSignMagnitude(const uint8_t bytes[2]) {
  return (bytes[0] & 1) ? -bytes[1] : bytes[1];
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
