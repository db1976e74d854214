// Table of the library's parameter functions behind uniform (index, value) shapes.
#include "viewer/picture/core/DeviceFunctions.h"

#include <cctype>
#include <cstring>
#include <type_traits>

#include "QEL_API.h"

namespace picture {
namespace {

template <auto F>
constexpr bool kIndexed = std::is_invocable_v<decltype(F), int, int*>;

template <auto F>
int SetAdapter(int index, int value) {
  if constexpr (std::is_invocable_v<decltype(F), int, int>) {
    return F(index, value);
  } else {
    return F(value);
  }
}

template <auto F>
int GetAdapter(int index, int* value) {
  if constexpr (kIndexed<F>) {
    return F(index, value);
  } else {
    return F(value);
  }
}

#define PICTURE_SETTER_ReadWrite(name) &SetAdapter<&QEL_Set_##name>
#define PICTURE_SETTER_ReadOnly(name) nullptr
// The field a packing of the list leaves a value.
#define PICTURE_FIELD_Plain kWord
#define PICTURE_FIELD_SignMagnitude kSignMagnitude
#define PICTURE_FIELD_TwosComplement9 kNineBit
#define PICTURE_FIELD_NibbleL0 kNibble
#define PICTURE_FIELD_NibbleL1 kNibble
#define PICTURE_FIELD_NibbleH0 kNibble
#define PICTURE_FIELD_NibbleH1 kNibble

// A list entry whose index count disagrees with the export's shape would not compile.
#define PICTURE_PARAM_SHAPE(name, reg, packing, count, ...) \
  static_assert(kIndexed<&QEL_Get_##name> == ((count) > 1), #name);
QEL_PARAMETER_LIST(PICTURE_PARAM_SHAPE)
#undef PICTURE_PARAM_SHAPE

constexpr ParamInfo kParams[] = {
#define PICTURE_PARAM_ENTRY(name, reg, packing, count, access, ...)             \
  {#name, count, Field::PICTURE_FIELD_##packing, PICTURE_SETTER_##access(name), \
   &GetAdapter<&QEL_Get_##name>},
    QEL_PARAMETER_LIST(PICTURE_PARAM_ENTRY)
#undef PICTURE_PARAM_ENTRY
        {"DataFormat", 1, Field::kByte, &SetAdapter<&QEL_Set_DataFormat>,
         &GetAdapter<&QEL_Get_DataFormat>},
};
static_assert(std::size(kParams) == static_cast<size_t>(Param::kNone));

#undef PICTURE_SETTER_ReadWrite
#undef PICTURE_SETTER_ReadOnly

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The entry of a call, or null when the call names no parameter or an index outside its list.
const ParamInfo* Target(DeviceFunction function) {
  if (function.param >= Param::kNone) return nullptr;
  const ParamInfo& info = kParams[static_cast<size_t>(function.param)];
  return function.index < info.count ? &info : nullptr;
}

}  // namespace

std::span<const ParamInfo> Params() {
  return kParams;
}

const ParamInfo& Info(Param param) {
  return kParams[static_cast<size_t>(param)];
}

const ParamInfo* FindParam(std::string_view name) {
  for (const ParamInfo& info : kParams) {
    if (SameName(info.name, name)) return &info;
  }
  return nullptr;
}

Param ParamOf(const ParamInfo& info) {
  return static_cast<Param>(&info - kParams);
}

int SetDevice(DeviceFunction function, int value) {
  const ParamInfo* info = Target(function);
  if (info == nullptr || info->set == nullptr) return -1;
  return info->set(function.index, value);
}

int GetDevice(DeviceFunction function, int* value) {
  const ParamInfo* info = Target(function);
  if (info == nullptr) return -1;
  return info->get(function.index, value);
}

namespace {

constexpr unsigned char kSetMagic[4] = {'Q', 'E', 'L', 0};

// The refusal a load gives for the stored header as it is now (2 no set, 3 version, 4 damaged,
// 6 no values for the head), 0 when the header is sound, -1 when it or the head type cannot be
// read.
int HeaderRefusal(unsigned address) {
  unsigned char header[64] = {};
  if (QEL_EepromRead(0, address, sizeof header, header) != 0) return -1;
  if (std::memcmp(header, kSetMagic, 4) != 0) return 2;
  if (header[4] != 1) return 3;
  if (header[5] != 0) return 4;
  int type = 0;
  if (QEL_Get_CIS_Type(&type) != 0) return -1;
  return std::memcmp(header + (type == 0 ? 16 : 32), kSetMagic, 4) != 0 ? 6 : 0;
}

}  // namespace

SetLoad ClassifySetLoad(int result, unsigned setAddress) {
  if (result == 0) return SetLoad::kRestored;
  if (result < 2) return SetLoad::kFailed;
  const int refusal = HeaderRefusal(setAddress);
  if (refusal < 0) return SetLoad::kFailed;
  if (result == refusal) return SetLoad::kNoSet;
  // With a sound header, 5 is the record read that failed before anything was written.
  if (result == 5 && refusal == 0) return SetLoad::kFailed;
  return SetLoad::kRestoreFailed;
}

}  // namespace picture
