// Field parsing and text formats of the Debug dialog: numbers typed by the technician, result
// texts and the two dump files. Plain functions, shared by the dialog and qelctl.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "viewer/files/Files.h"

namespace picture {

// Largest transfer of the I2C and EEPROM commands, and the characters of a write-data field
// that are looked at.
constexpr int kMaxDebugBytes = 64;
constexpr size_t kMaxWriteDataChars = 1023;

// A number read the way the C library's unsigned conversion reads it: leading blanks, an
// optional sign, for base 16 an optional 0x prefix, then digits up to the first other character.
// The value has 32 bits and saturates at 0xFFFFFFFF; a minus sign negates it modulo 2^32.
struct ParsedNumber {
  uint32_t value = 0;
  size_t end = 0;  // index after the number; `from` when there are no digits
  bool found = false;
};
ParsedNumber ParseNumber(std::string_view text, size_t from, int base);

// I2C slave address: hexadecimal, 7 bits kept; no digits give 0.
uint8_t ParseSlaveAddress(std::string_view text);
// Read size: decimal, low 8 bits, then 0 -> 1 and above 64 -> 64.
int ParseReadSize(std::string_view text);
// Register address or 16-bit value of the FPGA and OV426 rows, and the EEPROM address:
// hexadecimal, 0 without digits.
uint32_t ParseHexField(std::string_view text);
// EEPROM "Type": decimal; 0 selects the unit EEPROM (0), anything else the head EEPROM (1).
int ParseEepromSelector(std::string_view text);

// Write data: hexadecimal numbers one after another, each followed by one separator character
// (a blank or a comma); the low 8 bits of each are kept. Only the first 1023 characters count;
// parsing stops at a place without digits, at the end of the text or after 64 bytes.
struct WriteData {
  std::array<uint8_t, kMaxDebugBytes> bytes{};
  int length = 0;
};
WriteData ParseWriteData(std::string_view text);

// "%02X" of one byte; "%02X " of each byte, concatenated; "%X" of a value.
std::string HexByte(uint8_t value);
std::string HexBytes(const uint8_t* bytes, int count);
std::string HexValue(uint32_t value);

// Register and EEPROM reads for the dumps; false when the read failed.
using RegisterReader = std::function<bool(uint16_t address, uint8_t value[2])>;
using EepromReader = std::function<bool(uint32_t address, uint8_t bytes[16])>;

constexpr const char* kFpgaDumpName = "Dump_FPGA.txt";
constexpr const char* kEepromDumpName = "Dump_EEPROM.txt";

// "<FPGA>" and one line per register 0x000..0x3FF; lines end with CR LF.
std::string FpgaDumpText(const RegisterReader& read);
// "<EEPROM_FX2>" with 0x4000..0xFFFF, or "<EEPROM_CIS>" with 0x0000..0x0FFF, then one line per
// 16 bytes; lines end with CR LF.
std::string EepromDumpText(bool cis, const EepromReader& read);

// Writes `text(...)` into a file that replaces the one at `path` only once complete; the text is
// built only once the file could be started, so nothing is read from the unit for a file that
// cannot be created. The result says why the file was not written.
files::Result WriteDumpFile(const std::string& path, const std::function<std::string()>& text);

}  // namespace picture
