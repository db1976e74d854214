// Every parameter accessor against the register map: register and bank, packing both ways,
// index count and whether the parameter shadow follows. The table below is written from the
// unit's register map, independently of the library's own table.
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "Core.h"
#include "SimFixture.h"
#include "TransferLog.h"

namespace qeltest {
namespace {

enum class Kind { Plain, SignMagnitude, Twos9, NibbleL0, NibbleL1, NibbleH0, NibbleH1 };

using Setter = int (*)(int index, int value);
using Getter = int (*)(int index, int* value);

struct Accessor {
  const char* name;
  Setter set;  // null for read-only parameters
  Getter get;
  uint16_t reg;
  int count;
  Kind kind;
  bool shadowed;
  bool startsOperation;  // a non-zero write starts something in the unit; written as 0
  bool computed;         // the unit computes the value; only the register read is checked
};

#define SCALAR_SET(name) [](int, int v) { return QEL_Set_##name(v); }
#define SCALAR_GET(name) [](int, int* v) { return QEL_Get_##name(v); }
#define INDEXED_SET(name) [](int i, int v) { return QEL_Set_##name(i, v); }
#define INDEXED_GET(name) [](int i, int* v) { return QEL_Get_##name(i, v); }
#define SCALAR(name, reg, kind, shadowed) \
  { #name, SCALAR_SET(name), SCALAR_GET(name), reg, 1, Kind::kind, shadowed, false, false }
#define INDEXED(name, reg, count, kind) \
  { #name, INDEXED_SET(name), INDEXED_GET(name), reg, count, Kind::kind, true, false, false }

const Accessor kAccessors[] = {
    INDEXED(ControlMode, 0x00, 2, Plain),
    SCALAR(BlackLevel, 0x02, Plain, true),
    SCALAR(ExposureTime, 0x03, Plain, true),
    SCALAR(RawGain, 0x04, Plain, true),
    SCALAR(AGC_AEC_Target, 0x05, Plain, true),
    INDEXED(Hysteresis, 0x06, 4, Plain),
    SCALAR(ControlSpeed, 0x0A, Plain, true),
    INDEXED(ControlMonitor, 0x0B, 2, Plain),
    SCALAR(MinLightLevel, 0x0D, Plain, true),
    SCALAR(ALC_Param, 0x0E, Plain, true),
    SCALAR(LightLevel, 0x0F, Plain, true),
    {"AWB", SCALAR_SET(AWB), SCALAR_GET(AWB), 0x10, 1, Kind::Plain, false, true, false},
    INDEXED(GainRB, 0x11, 2, SignMagnitude),
    INDEXED(ColorMatrix, 0x13, 9, Twos9),
    INDEXED(GainYC, 0x1C, 3, SignMagnitude),
    SCALAR(ALC_Target, 0x1F, Plain, true),
    SCALAR(Gamma, 0x20, NibbleL0, true),
    SCALAR(ImageFlip, 0x20, NibbleL1, true),
    SCALAR(ImageRotation, 0x20, NibbleH0, true),
    SCALAR(DVI_ImageSize, 0x20, NibbleH1, true),
    SCALAR(NoiseReduction, 0x21, NibbleL0, true),
    SCALAR(EdgeEnhancement, 0x21, NibbleL1, true),
    SCALAR(VFPN_Corr, 0x21, NibbleH0, true),
    SCALAR(DVI_Resolution, 0x21, NibbleH1, true),
    SCALAR(CIS_ImageFineAdj, 0x22, NibbleL0, true),
    SCALAR(DP_Corr, 0x23, NibbleL0, false),
    SCALAR(FPN_Corr, 0x23, NibbleL1, false),
    {"FPN_Data_Acquisition", SCALAR_SET(FPN_Data_Acquisition), SCALAR_GET(FPN_Data_Acquisition),
     0x23, 1, Kind::NibbleH0, false, true, false},
    SCALAR(CIS_VoutCurrent, 0x24, NibbleL0, true),
    {"CIS_Connect", nullptr, SCALAR_GET(CIS_Connect), 0xF0, 1, Kind::Plain, false, false, true},
    SCALAR(CIS_LimitFlag, 0xF1, Plain, false),
    {"CIS_Type", nullptr, SCALAR_GET(CIS_Type), 0xF4, 1, Kind::Plain, false, false, true},
    SCALAR(CIS_ConnectionDet, 0xF6, Plain, true),
    SCALAR(CIS_OverCurrentDet, 0xF7, Plain, true),
    {"CIS_ManualDetect", SCALAR_SET(CIS_ManualDetect), SCALAR_GET(CIS_ManualDetect), 0xF8, 1,
     Kind::Plain, false, true, false},
    {"FPGA_Ver", nullptr, SCALAR_GET(FPGA_Ver), 0xFF, 1, Kind::Plain, false, false, true},
};

void PrintTo(const Accessor& accessor, std::ostream* os) {
  *os << accessor.name;
}

int NibbleShift(Kind kind) {
  switch (kind) {
    case Kind::NibbleL1:
      return 4;
    case Kind::NibbleH0:
      return 8;
    case Kind::NibbleH1:
      return 12;
    default:
      return 0;
  }
}

// A value to write and the register word it must produce (nibbles: written over 0x5A5A).
int TestValue(const Accessor& a) {
  if (a.startsOperation) return 0;
  switch (a.kind) {
    case Kind::Plain:
      return 0x1234;
    case Kind::SignMagnitude:
      return -7;
    case Kind::Twos9:
      return -3;
    default:
      return 0xC;
  }
}

uint16_t ExpectedWord(const Accessor& a, int value, uint16_t before) {
  switch (a.kind) {
    case Kind::Plain:
      return static_cast<uint16_t>(value);
    case Kind::SignMagnitude:
      return static_cast<uint16_t>((value < 0 ? 0x100 : 0) | (std::abs(value) & 0xFF));
    case Kind::Twos9:
      return static_cast<uint16_t>(value & 0x1FF);
    default: {
      const int shift = NibbleShift(a.kind);
      return static_cast<uint16_t>((before & ~(0xF << shift)) | ((value & 0xF) << shift));
    }
  }
}

// The value a getter must decode from a register word.
int Decoded(const Accessor& a, uint16_t word) {
  const int high = word >> 8, low = word & 0xFF;
  switch (a.kind) {
    case Kind::Plain:
      return word;
    case Kind::SignMagnitude:
      return (high & 1) ? -low : low;
    case Kind::Twos9:
      return low - 256 * (high & 1);
    default:
      return (word >> NibbleShift(a.kind)) & 0xF;
  }
}

class ParameterMap : public SimFixture,
                     public ::testing::WithParamInterface<std::tuple<Accessor, int>> {};

TEST_P(ParameterMap, RegisterBankPackingAndShadow) {
  const Accessor& a = std::get<0>(GetParam());
  const int head = std::get<1>(GetParam());
  unit().SetHead(head);
  for (int index = 0; index < a.count; ++index) {
    SCOPED_TRACE(std::string(a.name) + " index " + std::to_string(index));
    const uint16_t number = static_cast<uint16_t>(a.reg + index);
    const uint16_t reg = number < 0x30 && head == 1 ? static_cast<uint16_t>(number + 0x80) : number;

    if (a.set != nullptr) {
      const uint16_t before = 0x5A5A;
      unit().SetRegister(reg, before);
      const Bytes shadowBefore{qel::Shadow()[64 + 2 * reg], qel::Shadow()[65 + 2 * reg]};
      unit().ClearLog();
      const int value = TestValue(a);
      ASSERT_EQ(a.set(index, value), 0);
      const auto writes = OfRequest(kRegWrite);
      ASSERT_EQ(writes.size(), 1u);
      EXPECT_EQ(writes[0].setup.index, reg);
      EXPECT_EQ(writes[0].setup.value, 0);
      const uint16_t word = ExpectedWord(a, value, before);
      const Bytes bytes{static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
      EXPECT_EQ(writes[0].data, bytes);
      const Bytes shadowAfter{qel::Shadow()[64 + 2 * reg], qel::Shadow()[65 + 2 * reg]};
      EXPECT_EQ(shadowAfter, a.shadowed ? bytes : shadowBefore);
    }

    unit().ClearLog();
    int value = 0x7777;
    if (a.computed) {
      ASSERT_EQ(a.get(index, &value), 0);
      const auto reads = OfRequest(kRegRead);
      ASSERT_FALSE(reads.empty());
      EXPECT_EQ(reads.back().setup.index, reg);
      continue;
    }
    const uint16_t word = 0x01B7;
    unit().SetRegister(reg, word);
    ASSERT_EQ(a.get(index, &value), 0);
    EXPECT_EQ(value, Decoded(a, word));
    EXPECT_EQ(OfRequest(kRegRead).back().setup.index, reg);
    unit().SetRegister(reg, 0);
  }
  if (a.count > 1) {
    int value = 0;
    unit().ClearLog();
    if (a.set != nullptr) {
      EXPECT_EQ(a.set(a.count, 1), -1);
    }
    EXPECT_EQ(a.get(a.count, &value), -1);
    EXPECT_EQ(a.get(-1, &value), -1);
    EXPECT_TRUE(unit().Log().empty());
  }
  EXPECT_EQ(a.get(0, nullptr), -1);
}

INSTANTIATE_TEST_SUITE_P(EveryAccessor, ParameterMap,
                         ::testing::Combine(::testing::ValuesIn(kAccessors),
                                            ::testing::Values(0, 1)),
                         [](const ::testing::TestParamInfo<ParameterMap::ParamType>& param) {
                           return std::string(std::get<0>(param.param).name) +
                                  (std::get<1>(param.param) == 0 ? "_40K" : "_160K");
                         });

}  // namespace
}  // namespace qeltest
