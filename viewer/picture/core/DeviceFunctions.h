// The library's parameter functions as data: every QEL_Set_/QEL_Get_ pair by name, with its index
// count and the value range of the register field it lands in, built from the library's list.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "QEL_ParameterList.h"

namespace picture {

// One entry per parameter name (QEL_Set_<name> / QEL_Get_<name>): the library's parameter list in
// its order, then the data format.
enum class Param : uint8_t {
#define PICTURE_PARAM_ENUM(name, ...) k##name,
  QEL_PARAMETER_LIST(PICTURE_PARAM_ENUM)
#undef PICTURE_PARAM_ENUM
      kDataFormat,  // the status record's data format item, not a register
  kNone,            // a control that sends nothing to the unit
};

// What the register field keeps of a value written to it.
enum class Field : uint8_t {
  kWord,           // 0..65535
  kSignMagnitude,  // -255..255
  kNineBit,        // -256..255
  kNibble,         // 0..15
  kByte,           // 0..255
};

struct Range {
  int min;
  int max;
  constexpr bool Contains(int v) const { return v >= min && v <= max; }
  friend constexpr bool operator==(const Range&, const Range&) = default;
};

constexpr Range FieldRange(Field field) {
  switch (field) {
    case Field::kWord:
      return {0, 65535};
    case Field::kSignMagnitude:
      return {-255, 255};
    case Field::kNineBit:
      return {-256, 255};
    case Field::kNibble:
      return {0, 15};
    case Field::kByte:
      return {0, 255};
  }
  return {0, 0};
}

// Uniform shapes over the scalar and indexed exports; scalar parameters ignore the index.
using SetFn = int (*)(int index, int value);
using GetFn = int (*)(int index, int* value);

struct ParamInfo {
  const char* name;
  int count;  // 1 for scalar parameters, else the number of indices
  Field field;
  SetFn set;  // null for read-only parameters
  GetFn get;
};

std::span<const ParamInfo> Params();
const ParamInfo& Info(Param param);
// Case-insensitive; null when no parameter has that name.
const ParamInfo* FindParam(std::string_view name);
Param ParamOf(const ParamInfo& info);

// The library call a control makes: parameter and index (0 for scalar parameters).
struct DeviceFunction {
  Param param = Param::kNone;
  uint8_t index = 0;
  friend constexpr bool operator==(const DeviceFunction&, const DeviceFunction&) = default;
};

// Result codes as the library's: 0 success, 1 unit not open or transfer failed, -1 an index
// outside the list (or kNone, or a read-only parameter for SetDevice).
int SetDevice(DeviceFunction function, int value);
int GetDevice(DeviceFunction function, int* value);

// The parameter sets in the unit EEPROM, by the address of their record.
constexpr unsigned kUserSetAddress = 0x4000;
constexpr unsigned kDefaultSetAddress = 0x6000;

// What a parameter set load (QEL_Load_Param, QEL_Load_Default_Param) did. Its results 2..7 are
// both its own refusals and counts of register writes that failed in the restore; the stored
// header, read again after the load, tells which.
enum class SetLoad : uint8_t {
  kRestored,
  kNoSet,          // refused: no set, unknown version, damaged header, none for the head type
  kFailed,         // nothing restored: no unit, a failed read, or a result that cannot be told
  kRestoreFailed,  // the set was read, but some of its register writes failed
};
SetLoad ClassifySetLoad(int result, unsigned setAddress);

}  // namespace picture
