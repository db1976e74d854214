// Records in the EEPROM of the CIS head: header check and format, serial number, use count and
// limit, white-balance gains, image fine adjustment and the defect pixel tables.
#include <cstdint>
#include <cstring>

#include "Core.h"
#include "DeviceAccess.h"
#include "QEL_API.h"

namespace qel {
namespace {

constexpr uint16_t kDpChunk = 64;

constexpr int kStateAbsent = 0;
constexpr int kStateBlank = 1;
constexpr int kStateFormatted = 2;

constexpr int kCheckFailed = -2;

// One record written after the head EEPROM reported ready: 0, or 1 when not ready or failed.
int SaveRecord(uint32_t address, const uint8_t* data, uint16_t length) {
  const int ready = WaitEepromReady(kSelectorCis);
  if (ready != 0) return ready;
  return EepromOut(kSelectorCis, address, data, length) != 0 ? 1 : 0;
}

// Reads one record of up to two bytes; the caller's output is 0 until a read succeeds.
int LoadRecord(uint32_t address, uint8_t* data, uint16_t length) {
  std::memset(data, 0, length);
  if (EepromIn(kSelectorCis, address, data, length) == 0) return 0;
  std::memset(data, 0, length);
  return 1;
}

// One-byte records (usage count and its limit): the low 8 bits are stored.
int SaveByteRecord(uint32_t address, int value) {
  const uint8_t byte = static_cast<uint8_t>(value & 0xFF);
  return SaveRecord(address, &byte, 1);
}

int LoadByteRecord(uint32_t address, int* value) {
  if (value == nullptr) return -1;
  uint8_t byte;
  const int result = LoadRecord(address, &byte, 1);
  *value = byte;
  return result;
}

int SaveDpTable(unsigned table, const uint8_t* data) {
  const uint32_t address = kCisDpTableAddress[table == 1 ? 1 : 0];
  for (uint16_t offset = 0; offset < kDpTableBytes; offset += kDpChunk) {
    if (WaitEepromReady(kSelectorCis) != 0) return kNotReady;
    if (EepromOut(kSelectorCis, address + offset, data + offset, kDpChunk) != 0)
      return kWriteFailed;
  }
  return 0;
}

int LoadDpTable(unsigned table, uint8_t* data) {
  const uint32_t address = kCisDpTableAddress[table == 1 ? 1 : 0];
  for (uint16_t offset = 0; offset < kDpTableBytes; offset += kDpChunk) {
    if (EepromIn(kSelectorCis, address + offset, data + offset, kDpChunk) != 0) return kReadFailed;
  }
  return 0;
}

}  // namespace
}  // namespace qel

using namespace qel;

QEL_EXPORT int QEL_CALL QEL_Check_CIS_EEPROM(int* state) {
  if (state == nullptr) return -1;
  *state = kStateAbsent;
  uint8_t status[kStatusSize];
  if (FetchStatus(status) != 0) return kCheckFailed;
  if (status[kStatusCisEeprom] == kEepromAbsent) return 0;
  *state = kStateBlank;
  uint8_t header[16] = {};
  if (EepromIn(kSelectorCis, kCisHeaderAddress, header, sizeof header) != 0) return kCheckFailed;
  if (HasMagic(header) && header[4] == kRecordVersion && header[5] == 0) *state = kStateFormatted;
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_Init_CIS_EEPROM(int headerOnly) {
  const uint8_t header[kCisHeaderSize] = {kMagic[0],      kMagic[1], kMagic[2], kMagic[3],
                                          kRecordVersion, 0,         0};
  if (headerOnly != 0) return SaveRecord(kCisHeaderAddress, header, sizeof header);

  // The format mark goes last, and an old one goes first: an init that stops part way leaves a
  // head that checks as blank, never one that checks as formatted over stale records.
  const uint8_t noHeader[kCisHeaderSize] = {};
  int result = SaveRecord(kCisHeaderAddress, noHeader, sizeof noHeader);
  if (result != 0) return result;

  const char blankSerialNo[kCisSerialNoSize] = {};
  uint8_t blankDpTable[kDpTableBytes];
  for (size_t i = 0; i < kDpTableBytes; i += 2) {
    blankDpTable[i] = 0x01;
    blankDpTable[i + 1] = 0xFF;
  }
  if ((result = QEL_Save_CIS_SerialNo(blankSerialNo)) != 0) return result;
  if ((result = QEL_Save_CIS_UseCount(0)) != 0) return result;
  if ((result = QEL_Save_CIS_UseCountLimit(0)) != 0) return result;
  if ((result = QEL_Save_CIS_GainRB(0, 0)) != 0) return result;
  if ((result = QEL_Save_CIS_GainRB(1, 0)) != 0) return result;
  if ((result = QEL_Save_CIS_ImageFineAdj(0)) != 0) return result;
  if ((result = QEL_Save_CIS_DP_Table(0, blankDpTable)) != 0) return result;
  if ((result = QEL_Save_CIS_DP_Table(1, blankDpTable)) != 0) return result;
  return SaveRecord(kCisHeaderAddress, header, sizeof header);
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_SerialNo(const char* serialNo) {
  if (serialNo == nullptr) return -1;
  // The text ends at its terminator or after 14 bytes; nothing past the terminator is read, so
  // a short string does not drag whatever follows it in memory into the head's EEPROM.
  uint8_t record[kCisSerialNoSize] = {};
  const void* end = std::memchr(serialNo, 0, kCisSerialNoSize);
  const size_t length =
      end ? static_cast<size_t>(static_cast<const char*>(end) - serialNo) : kCisSerialNoSize;
  std::memcpy(record, serialNo, length);
  return SaveRecord(kCisSerialNoAddress, record, kCisSerialNoSize);
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_SerialNo(char* serialNo) {
  if (serialNo == nullptr) return -1;
  uint8_t record[kCisSerialNoSize];
  if (EepromIn(kSelectorCis, kCisSerialNoAddress, record, kCisSerialNoSize) != 0) return 1;
  std::memcpy(serialNo, record, kCisSerialNoSize);
  return 0;
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_UseCount(int count) {
  return SaveByteRecord(kCisUseCountAddress, count);
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_UseCount(int* count) {
  return LoadByteRecord(kCisUseCountAddress, count);
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_UseCountLimit(int limit) {
  return SaveByteRecord(kCisUseCountLimitAddress, limit);
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_UseCountLimit(int* limit) {
  return LoadByteRecord(kCisUseCountLimitAddress, limit);
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_GainRB(int index, int gain) {
  // The index is looked at only once the EEPROM is ready, as callers have always seen it.
  const int ready = WaitEepromReady(kSelectorCis);
  if (ready != 0) return ready;
  if (index != 0 && index != 1) return -1;
  uint8_t bytes[2];
  EncodeSignMagnitude(gain, bytes);
  return EepromOut(kSelectorCis, kCisGainAddress[index], bytes, 2) != 0 ? 1 : 0;
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_GainRB(int index, int* gain) {
  if (gain == nullptr || (index != 0 && index != 1)) return -1;
  uint8_t bytes[2];
  const int result = LoadRecord(kCisGainAddress[index], bytes, 2);
  *gain = DecodeSignMagnitude(bytes);
  return result;
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_ImageFineAdj(int value) {
  uint8_t bytes[2];
  EncodePlain(value, bytes);
  return SaveRecord(kCisImageFineAdjAddress, bytes, 2);
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_ImageFineAdj(int* value) {
  if (value == nullptr) return -1;
  uint8_t bytes[2];
  const int result = LoadRecord(kCisImageFineAdjAddress, bytes, 2);
  *value = DecodePlain(bytes);
  return result;
}

QEL_EXPORT int QEL_CALL QEL_Save_CIS_DP_Table(unsigned int table, const unsigned char* data) {
  if (data == nullptr) return -1;
  return SaveDpTable(table, data);
}

QEL_EXPORT int QEL_CALL QEL_Load_CIS_DP_Table(unsigned int table, unsigned char* data) {
  if (data == nullptr) return -1;
  return LoadDpTable(table, data);
}
