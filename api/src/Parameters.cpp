// Camera parameter functions: the table of registers and packings built from the parameter list,
// behind every setter and getter, plus the data format and the defect pixel and gamma table
// transfers.
#include <cstdint>
#include <mutex>

#include "Context.h"
#include "Core.h"
#include "DeviceAccess.h"
#include "QEL_API.h"
#include "QEL_ParameterList.h"

namespace qel {
namespace {

enum class Packing : uint8_t {
  kPlain,
  kSignMagnitude,    // high byte 1 for negative, low byte the magnitude
  kTwosComplement9,  // bit 8 in the high byte, bits 7..0 in the low byte
  kNibbleL0,         // 4-bit fields of a shared register: low byte bits 3..0,
  kNibbleL1,         // low byte bits 7..4,
  kNibbleH0,         // high byte bits 3..0,
  kNibbleH1,         // high byte bits 7..4
};

struct Parameter {
  const char* name;
  uint16_t reg;  // bank 0 number of index 0; index i uses reg + i
  Packing packing;
  uint8_t count;  // 1 for scalar parameters, else the number of indices
  bool shadowed;  // copied into the parameter shadow after every successful transfer
  bool rawRead;   // the getter reads through QEL_DeviceRead
};

enum Id : int {
#define QEL_PARAMETER_ID(name, ...) k##name,
  QEL_PARAMETER_LIST(QEL_PARAMETER_ID)
#undef QEL_PARAMETER_ID
};

constexpr Parameter kParameters[] = {
#define QEL_PARAMETER_ENTRY(name, reg, packing, count, access, shadowed, rawRead) \
  {#name, reg, Packing::k##packing, count, shadowed, rawRead},
    QEL_PARAMETER_LIST(QEL_PARAMETER_ENTRY)
#undef QEL_PARAMETER_ENTRY
};

// Every register a parameter can reach, in either bank, has its two bytes in the shadow.
constexpr bool ShadowCoversTable() {
  for (const Parameter& p : kParameters) {
    int last = p.reg + p.count - 1 + (p.reg < kBankedLimit ? kBank1Offset : 0);
    if (64 + 2 * last + 1 >= static_cast<int>(kShadowSize) || last > 0xFF) return false;
  }
  return true;
}
static_assert(ShadowCoversTable());

constexpr bool IsNibble(Packing packing) {
  return packing >= Packing::kNibbleL0;
}

// Bit position of a nibble field inside the 16-bit register value.
constexpr int NibbleShift(Packing packing) {
  return 4 * (static_cast<int>(packing) - static_cast<int>(Packing::kNibbleL0));
}

void Encode(Packing packing, int value, uint8_t bytes[2]) {
  switch (packing) {
    case Packing::kSignMagnitude:
      EncodeSignMagnitude(value, bytes);
      break;
    case Packing::kTwosComplement9:
      EncodePlain(value, bytes);
      bytes[0] &= 1;
      break;
    default:
      EncodePlain(value, bytes);
      break;
  }
}

int Decode(Packing packing, const uint8_t bytes[2]) {
  const int word = DecodePlain(bytes);
  switch (packing) {
    case Packing::kPlain:
      return word;
    case Packing::kSignMagnitude:
      return DecodeSignMagnitude(bytes);
    case Packing::kTwosComplement9:
      return bytes[1] - 256 * (bytes[0] & 1);
    default:
      return (word >> NibbleShift(packing)) & 0xF;
  }
}

void UpdateShadow(uint16_t reg, const uint8_t bytes[2]) {
  uint8_t* shadow = Shadow();
  if (shadow == nullptr) return;
  shadow[64 + 2 * reg] = bytes[0];
  shadow[65 + 2 * reg] = bytes[1];
}

int SetParameter(Id id, int index, int value) {
  const Parameter& p = kParameters[id];
  if (index < 0 || index >= p.count) return -1;
  // The guard also serialises the read-modify-write of a register shared by nibble fields, shadowed
  // or not: two setters of fields in one register would otherwise each write back the other's old
  // value.
  std::unique_lock<std::mutex> guard(Ctx().shadowGuard, std::defer_lock);
  if (p.shadowed || IsNibble(p.packing)) guard.lock();
  uint16_t reg = 0;
  if (const int result = BankedRegister(static_cast<uint16_t>(p.reg + index), &reg); result != 0)
    return result;
  uint8_t bytes[2] = {0, 0};
  if (IsNibble(p.packing)) {
    // Without the other three fields as the unit holds them, writing would clear them.
    if (ReadRegister(reg, bytes) != 0) return 1;
    const int shift = NibbleShift(p.packing);
    unsigned word = static_cast<unsigned>(bytes[0] << 8 | bytes[1]);
    word = (word & ~(0xFu << shift)) | ((static_cast<unsigned>(value) & 0xF) << shift);
    bytes[0] = static_cast<uint8_t>(word >> 8);
    bytes[1] = static_cast<uint8_t>(word & 0xFF);
  } else {
    Encode(p.packing, value, bytes);
  }
  if (WriteRegister(reg, bytes) != 0) return 1;
  if (p.shadowed) UpdateShadow(reg, bytes);
  return 0;
}

int GetParameter(Id id, int index, int* value) {
  const Parameter& p = kParameters[id];
  if (value == nullptr || index < 0 || index >= p.count) return -1;
  std::unique_lock<std::mutex> guard(Ctx().shadowGuard, std::defer_lock);
  if (p.shadowed) guard.lock();
  uint16_t reg = 0;
  if (const int result = BankedRegister(static_cast<uint16_t>(p.reg + index), &reg); result != 0) {
    *value = 0;
    return result;
  }
  uint8_t bytes[2] = {0, 0};
  const int result = p.rawRead ? QEL_DeviceRead(0, reg, 2, bytes) : ReadRegister(reg, bytes);
  if (result != 0) {
    *value = 0;
    return 1;
  }
  if (p.shadowed) UpdateShadow(reg, bytes);
  *value = Decode(p.packing, bytes);
  return 0;
}

// Moves chunks x 32 consecutive registers from base on, 64 bytes per transfer; stops at the
// first failed transfer.
int ReadBlock(uint16_t base, int chunks, uint8_t* data) {
  for (int i = 0; i < chunks; ++i) {
    if (ControlIn(kReqRegRead, 0, static_cast<uint16_t>(base + 32 * i), data + 64 * i, 64) != 0)
      return 1;
  }
  return 0;
}

int WriteBlock(uint16_t base, int chunks, const uint8_t* data) {
  for (int i = 0; i < chunks; ++i) {
    if (ControlOut(kReqRegWrite, 0, static_cast<uint16_t>(base + 32 * i), data + 64 * i, 64) != 0)
      return 1;
  }
  return 0;
}

constexpr int kDpTableChunks = kDpTableRegisters / 32;
constexpr int kGammaTableChunks = kGammaTableRegisters / 32;

uint16_t DpTableBase(unsigned table) {
  return kDpTableBase[table == 1 ? 1 : 0];
}

uint16_t GammaTableBase(int table) {
  return kGammaTableBase[table == 1 || table == 2 ? table : 0];
}

}  // namespace
}  // namespace qel

using qel::GetParameter;
using qel::SetParameter;

// Exported wrappers, one set per list entry: a scalar or indexed setter unless the parameter is
// read-only, and a getter of the same shape.
#define QEL_SCALAR_SET(name)                          \
  QEL_EXPORT int QEL_CALL QEL_Set_##name(int value) { \
    return SetParameter(qel::k##name, 0, value);      \
  }
#define QEL_SCALAR_GET(name)                           \
  QEL_EXPORT int QEL_CALL QEL_Get_##name(int* value) { \
    return GetParameter(qel::k##name, 0, value);       \
  }
#define QEL_INDEXED_SET(name)                                    \
  QEL_EXPORT int QEL_CALL QEL_Set_##name(int index, int value) { \
    return SetParameter(qel::k##name, index, value);             \
  }
#define QEL_INDEXED_GET(name)                                     \
  QEL_EXPORT int QEL_CALL QEL_Get_##name(int index, int* value) { \
    return GetParameter(qel::k##name, index, value);              \
  }
#define QEL_EXPORTS_ReadWriteScalar(name) QEL_SCALAR_SET(name) QEL_SCALAR_GET(name)
#define QEL_EXPORTS_ReadWriteIndexed(name) QEL_INDEXED_SET(name) QEL_INDEXED_GET(name)
#define QEL_EXPORTS_ReadOnlyScalar(name) QEL_SCALAR_GET(name)
#define QEL_EXPORTS_ReadOnlyIndexed(name) QEL_INDEXED_GET(name)
#define QEL_JOIN(a, b) QEL_JOIN_TOKENS(a, b)
#define QEL_JOIN_TOKENS(a, b) a##b
#define QEL_PARAMETER_EXPORTS(name, reg, packing, count, access, shadowed, rawRead) \
  QEL_JOIN(QEL_EXPORTS_, QEL_JOIN(access, QEL_PARAMETER_SHAPE(count)))(name)

QEL_PARAMETER_LIST(QEL_PARAMETER_EXPORTS)

QEL_EXPORT int QEL_CALL QEL_Set_DataFormat(int value) {
  const uint8_t item[3] = {0, static_cast<uint8_t>(value & 0xFF), 0};
  return qel::ControlOut(qel::kReqSetStatus, 0, qel::kStatusItemDataFormat, item, 3);
}

QEL_EXPORT int QEL_CALL QEL_Get_DataFormat(int* value) {
  if (value == nullptr) return -1;
  uint8_t status[qel::kStatusSize];
  const int result = qel::FetchStatus(status);
  // The record is zeroed before the fetch, so a failed fetch reports format 0.
  *value = status[qel::kStatusDataFormat];
  return result;
}

QEL_EXPORT int QEL_CALL QEL_Set_DP_Table(unsigned int table, const unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::WriteBlock(qel::DpTableBase(table), qel::kDpTableChunks, data);
}

QEL_EXPORT int QEL_CALL QEL_Get_DP_Table(unsigned int table, unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::ReadBlock(qel::DpTableBase(table), qel::kDpTableChunks, data);
}

QEL_EXPORT int QEL_CALL QEL_Set_Gamma_Table(int table, const unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::WriteBlock(qel::GammaTableBase(table), qel::kGammaTableChunks, data);
}

QEL_EXPORT int QEL_CALL QEL_Get_Gamma_Table(int table, unsigned char* data) {
  if (data == nullptr) return -1;
  return qel::ReadBlock(qel::GammaTableBase(table), qel::kGammaTableChunks, data);
}
