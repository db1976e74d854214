// Field parsing and text formats of the Debug dialog.
#include "viewer/picture/core/DebugFormat.h"

#include <cstdio>

namespace picture {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

constexpr char kCrLf[] = "\r\n";

}  // namespace

ParsedNumber ParseNumber(std::string_view text, size_t from, int base) {
  ParsedNumber result;
  result.end = from;
  size_t i = from;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // "0x" without a hex digit after it is the number 0 followed by an "x".
  if (base == 16 && i + 2 < text.size() && text[i] == '0' &&
      (text[i + 1] == 'x' || text[i + 1] == 'X') && DigitValue(text[i + 2]) < 16) {
    i += 2;
  }
  uint64_t value = 0;
  bool overflow = false;
  const size_t digitsFrom = i;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
    value = value * uint64_t(base) + uint64_t(DigitValue(text[i]));
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;  // keeps the product in range; more digits change nothing
    }
  }
  if (i == digitsFrom) return result;
  result.found = true;
  result.end = i;
  const auto magnitude = static_cast<uint32_t>(value);
  result.value = overflow ? 0xFFFFFFFFu : negative ? 0u - magnitude : magnitude;
  return result;
}

uint8_t ParseSlaveAddress(std::string_view text) {
  return static_cast<uint8_t>(ParseNumber(text, 0, 16).value & 0x7F);
}

int ParseReadSize(std::string_view text) {
  const int size = static_cast<int>(ParseNumber(text, 0, 10).value & 0xFF);
  return size < 1 ? 1 : size > kMaxDebugBytes ? kMaxDebugBytes : size;
}

uint32_t ParseHexField(std::string_view text) {
  return ParseNumber(text, 0, 16).value;
}

int ParseEepromSelector(std::string_view text) {
  return ParseNumber(text, 0, 10).value != 0 ? 1 : 0;
}

WriteData ParseWriteData(std::string_view text) {
  text = text.substr(0, kMaxWriteDataChars);
  WriteData data;
  size_t at = 0;
  while (data.length < kMaxDebugBytes && at < text.size()) {
    const ParsedNumber number = ParseNumber(text, at, 16);
    if (!number.found) break;
    data.bytes[size_t(data.length++)] = static_cast<uint8_t>(number.value & 0xFF);
    at = number.end + 1;  // the separator is skipped whatever it is
  }
  return data;
}

std::string HexByte(uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string HexBytes(const uint8_t* bytes, int count) {
  std::string text;
  text.reserve(size_t(count > 0 ? count : 0) * 3);
  for (int i = 0; i < count; ++i) {
    text += HexByte(bytes[i]);
    text += ' ';
  }
  return text;
}

std::string HexValue(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

std::string FpgaDumpText(const RegisterReader& read) {
  constexpr int kRegisters = 0x400;
  std::string text;
  text.reserve(kRegisters * 16);
  text += "<FPGA>";
  text += kCrLf;
  char line[32];
  for (int a = 0; a < kRegisters; ++a) {
    uint8_t value[2] = {};
    if (read(static_cast<uint16_t>(a), value)) {
      std::snprintf(line, sizeof line, "%04X : %02X%02X", a, value[0], value[1]);
    } else {
      std::snprintf(line, sizeof line, "%04X : read failed.", a);
    }
    text += line;
    text += kCrLf;
  }
  return text;
}

std::string EepromDumpText(bool cis, const EepromReader& read) {
  constexpr int kLine = 16;
  const uint32_t first = cis ? 0x0000 : 0x4000;
  const uint32_t end = cis ? 0x1000 : 0x10000;
  std::string text;
  text.reserve((end - first) / kLine * 56);
  text += cis ? "<EEPROM_CIS>" : "<EEPROM_FX2>";
  text += kCrLf;
  char address[32];
  for (uint32_t a = first; a < end; a += kLine) {
    uint8_t bytes[kLine] = {};
    const bool ok = read(a, bytes);
    std::snprintf(address, sizeof address, ok ? "%04X : " : "%04X : read failed.", unsigned(a));
    text += address;
    if (ok) text += HexBytes(bytes, kLine);
    text += kCrLf;
  }
  return text;
}

files::Result WriteDumpFile(const std::string& path, const std::function<std::string()>& text) {
  files::ReplacingFile file(path);
  if (!file.Ok()) return file.Status();
  file.Write(text());
  return file.Commit();
}

}  // namespace picture
