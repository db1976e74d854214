// Parameter sets and gamma tables kept in the unit EEPROM: save, load with register restore,
// and clear.
#include <cstdint>
#include <cstring>
#include <mutex>

#include "Context.h"
#include "Core.h"
#include "DeviceAccess.h"
#include "QEL_API.h"

namespace qel {
namespace {

constexpr uint32_t kUserArea = 0x4000;
constexpr uint32_t kDefaultArea = 0x6000;
constexpr uint32_t kAreaSize = 0x2000;
constexpr uint16_t kChunk = 64;
constexpr size_t kHeaderSize = 64;

// Record header fields.
constexpr size_t kVersionByte = 4;
constexpr size_t kReservedByte = 5;
constexpr size_t kBank0Mark = 16;
constexpr size_t kBank1Mark = 32;

// Chunks holding the banked registers (0x00..0x3F and 0x80..0xBF) of each head type.
constexpr size_t kBank0Chunks[] = {64, 128};
constexpr size_t kBank1Chunks[] = {320, 384};

// Result codes of the multi-step operations.
constexpr int kNoUnit = 1;
constexpr int kNoRecord = 2;
constexpr int kBadVersion = 3;
constexpr int kBadHeader = 4;
constexpr int kNoSetForHead = 6;

// Registers written back from a loaded record, per bank; the hysteresis registers go in reverse.
constexpr uint8_t kRestoreOrder[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x09, 0x08, 0x07, 0x06,
                                     0x05, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x11, 0x12,
                                     0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B,
                                     0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22};
static_assert(sizeof(kRestoreOrder) == 34);
constexpr uint8_t kRestoreUnbanked[] = {0xF5, 0xF6, 0xF7};

// A save first writes the header without its magic and with only the marks of the sets it will
// not touch, and writes the real header last, so a save that stops anywhere leaves no record a
// load accepts. Such a header still vouches for the untouched set: the next save keeps its mark.
bool HeaderKeepsMarks(const uint8_t* header) {
  constexpr uint8_t kNoMagic[4] = {};
  return (HasMagic(header) || std::memcmp(header, kNoMagic, 4) == 0) &&
         header[kVersionByte] == kRecordVersion && header[kReservedByte] == 0;
}

bool InList(size_t offset, const size_t (&list)[2]) {
  return offset == list[0] || offset == list[1];
}

int WriteChunk(uint32_t address, const uint8_t* data) {
  if (WaitEepromReady(kSelectorUnit) != 0) return kNotReady;
  return EepromOut(kSelectorUnit, address, data, kChunk) != 0 ? kWriteFailed : 0;
}

int SaveParam(uint32_t area) {
  uint8_t work[kShadowSize] = {};
  if (EepromIn(kSelectorUnit, area, work, kChunk) != 0) return kNoUnit;

  // One head type decides both the marks and the chunks written: a type read that changed
  // between chunks would otherwise overwrite the other head's set under a kept mark. Without
  // the type nothing is written.
  int type = 0;
  if (const int result = ReadCisType(&type); result != 0) return result;
  const bool bank1 = type != 0;

  bool oldBank0 = false;
  bool oldBank1 = false;
  if (HeaderKeepsMarks(work)) {
    oldBank0 = HasMagic(work + kBank0Mark);
    oldBank1 = HasMagic(work + kBank1Mark);
  }

  uint8_t* shadow = Shadow();
  if (shadow == nullptr) return kNoUnit;
  std::memset(shadow, 0, kHeaderSize);
  std::memcpy(shadow, kMagic, 4);
  shadow[kVersionByte] = kRecordVersion;
  std::memcpy(work, shadow, kShadowSize);

  uint8_t pending[kHeaderSize] = {};
  pending[kVersionByte] = kRecordVersion;
  if (bank1 && oldBank0) std::memcpy(pending + kBank0Mark, kMagic, 4);
  if (!bank1 && oldBank1) std::memcpy(pending + kBank1Mark, kMagic, 4);
  if (!bank1 || oldBank0) std::memcpy(work + kBank0Mark, kMagic, 4);
  if (bank1 || oldBank1) std::memcpy(work + kBank1Mark, kMagic, 4);

  if (const int result = WriteChunk(area, pending); result != 0) return result;
  for (size_t offset = kChunk; offset < kShadowSize; offset += kChunk) {
    if (InList(offset, bank1 ? kBank0Chunks : kBank1Chunks)) continue;
    if (const int result = WriteChunk(area + static_cast<uint32_t>(offset), work + offset);
        result != 0)
      return result;
  }
  return WriteChunk(area, work);
}

int LoadParam(uint32_t area) {
  uint8_t header[kHeaderSize] = {};
  if (EepromIn(kSelectorUnit, area, header, kChunk) != 0) return kNoUnit;
  if (!HasMagic(header)) return kNoRecord;
  if (header[kVersionByte] != kRecordVersion) return kBadVersion;
  if (header[kReservedByte] != 0) return kBadHeader;
  int type = 0;
  if (const int result = ReadCisType(&type); result != 0) return result;
  if (!HasMagic(header + (type != 0 ? kBank1Mark : kBank0Mark))) return kNoSetForHead;

  uint8_t record[kShadowSize] = {};
  for (size_t offset = 0; offset < kShadowSize; offset += kChunk) {
    if (EepromIn(kSelectorUnit, area + static_cast<uint32_t>(offset), record + offset, kChunk) != 0)
      return kReadFailed;
  }
  uint8_t* shadow = Shadow();
  if (shadow == nullptr) return kNoUnit;
  std::memcpy(shadow, record, kShadowSize);

  // Every write is attempted; the result counts those that failed.
  int failed = 0;
  auto restore = [&](uint16_t reg) {
    if (WriteRegister(reg, shadow + 64 + 2 * reg) != 0) ++failed;
  };
  for (uint16_t bank : {uint16_t{0}, kBank1Offset}) {
    for (uint8_t reg : kRestoreOrder) restore(static_cast<uint16_t>(bank + reg));
  }
  for (uint8_t reg : kRestoreUnbanked) restore(reg);
  return failed;
}

int ClearParam(uint32_t area, int mode) {
  const uint8_t zeros[kChunk] = {};
  const uint32_t end = mode == 0 ? area + kChunk : area + kAreaSize;
  for (uint32_t address = area; address < end; address += kChunk) {
    if (const int result = WriteChunk(address, zeros); result != 0) return result;
  }
  return 0;
}

uint32_t GammaArea(int table) {
  if (table == 1) return 0xA000;
  if (table == 2) return 0xC000;
  return 0x8000;
}

constexpr uint32_t kGammaTableSize = 8192;

int SaveGammaTable(int table, const uint8_t* data) {
  const uint32_t area = GammaArea(table);
  for (uint32_t offset = 0; offset < kGammaTableSize; offset += kChunk) {
    if (const int result = WriteChunk(area + offset, data + offset); result != 0) return result;
  }
  return 0;
}

int LoadGammaTable(int table, uint8_t* data) {
  const uint32_t area = GammaArea(table);
  for (uint32_t offset = 0; offset < kGammaTableSize; offset += kChunk) {
    if (EepromIn(kSelectorUnit, area + offset, data + offset, kChunk) != 0) return kReadFailed;
  }
  return 0;
}

}  // namespace
}  // namespace qel

QEL_EXPORT int QEL_CALL QEL_Save_Param(int) {
  std::lock_guard<std::mutex> guard(qel::Ctx().shadowGuard);
  return qel::SaveParam(qel::kUserArea);
}
QEL_EXPORT int QEL_CALL QEL_Load_Param(int) {
  std::lock_guard<std::mutex> guard(qel::Ctx().shadowGuard);
  return qel::LoadParam(qel::kUserArea);
}
QEL_EXPORT int QEL_CALL QEL_Clear_Param(int mode) {
  return qel::ClearParam(qel::kUserArea, mode);
}

QEL_EXPORT int QEL_CALL QEL_Save_Default_Param(int) {
  std::lock_guard<std::mutex> guard(qel::Ctx().shadowGuard);
  return qel::SaveParam(qel::kDefaultArea);
}
QEL_EXPORT int QEL_CALL QEL_Load_Default_Param(int) {
  std::lock_guard<std::mutex> guard(qel::Ctx().shadowGuard);
  return qel::LoadParam(qel::kDefaultArea);
}
QEL_EXPORT int QEL_CALL QEL_Clear_Default_Param(int mode) {
  return qel::ClearParam(qel::kDefaultArea, mode);
}

QEL_EXPORT int QEL_CALL QEL_Save_Gamma_Table(int table, const unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::SaveGammaTable(table, data);
}

QEL_EXPORT int QEL_CALL QEL_Load_Gamma_Table(int table, unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::LoadGammaTable(table, data);
}
