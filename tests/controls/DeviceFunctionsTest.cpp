// The controls' device functions reach the registers the unit's map gives their parameters: every
// slider and list of the Picture page, sent through the simulated unit and read back raw.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "viewer/picture/Controls.h"

namespace {

using namespace picture;

// Where a parameter lives: bank 0 register of index 0, and how the value is packed.
enum class Pack { kPlain, kSignMagnitude, kNineBit, kL0, kL1, kH0, kH1 };
struct Place {
  int reg;
  Pack pack;
};

Place PlaceOf(Param p) {
  switch (p) {
    case Param::kControlMode:
      return {0x00, Pack::kPlain};
    case Param::kBlackLevel:
      return {0x02, Pack::kPlain};
    case Param::kExposureTime:
      return {0x03, Pack::kPlain};
    case Param::kRawGain:
      return {0x04, Pack::kPlain};
    case Param::kAGC_AEC_Target:
      return {0x05, Pack::kPlain};
    case Param::kHysteresis:
      return {0x06, Pack::kPlain};
    case Param::kControlSpeed:
      return {0x0A, Pack::kPlain};
    case Param::kControlMonitor:
      return {0x0B, Pack::kPlain};
    case Param::kMinLightLevel:
      return {0x0D, Pack::kPlain};
    case Param::kALC_Param:
      return {0x0E, Pack::kPlain};
    case Param::kLightLevel:
      return {0x0F, Pack::kPlain};
    case Param::kGainRB:
      return {0x11, Pack::kSignMagnitude};
    case Param::kColorMatrix:
      return {0x13, Pack::kNineBit};
    case Param::kGainYC:
      return {0x1C, Pack::kSignMagnitude};
    case Param::kALC_Target:
      return {0x1F, Pack::kPlain};
    case Param::kGamma:
      return {0x20, Pack::kL0};
    case Param::kImageFlip:
      return {0x20, Pack::kL1};
    case Param::kImageRotation:
      return {0x20, Pack::kH0};
    case Param::kDVI_ImageSize:
      return {0x20, Pack::kH1};
    case Param::kNoiseReduction:
      return {0x21, Pack::kL0};
    case Param::kEdgeEnhancement:
      return {0x21, Pack::kL1};
    case Param::kVFPN_Corr:
      return {0x21, Pack::kH0};
    case Param::kDVI_Resolution:
      return {0x21, Pack::kH1};
    case Param::kCIS_ImageFineAdj:
      return {0x22, Pack::kL0};
    case Param::kDP_Corr:
      return {0x23, Pack::kL0};
    case Param::kFPN_Corr:
      return {0x23, Pack::kL1};
    case Param::kCIS_VoutCurrent:
      return {0x24, Pack::kL0};
    case Param::kCIS_ConnectionDet:
      return {0xF6, Pack::kPlain};
    case Param::kCIS_OverCurrentDet:
      return {0xF7, Pack::kPlain};
    default:
      return {-1, Pack::kPlain};
  }
}

int Decode(Pack pack, const unsigned char b[2]) {
  const int word = b[0] << 8 | b[1];
  switch (pack) {
    case Pack::kPlain:
      return word;
    case Pack::kSignMagnitude:
      return (b[0] & 1) ? -b[1] : b[1];
    case Pack::kNineBit:
      return b[1] - 256 * (b[0] & 1);
    case Pack::kL0:
      return word & 0xF;
    case Pack::kL1:
      return word >> 4 & 0xF;
    case Pack::kH0:
      return word >> 8 & 0xF;
    case Pack::kH1:
      return word >> 12 & 0xF;
  }
  return -1;
}

class DeviceFunctions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QELSIM_Enable(1);
    QELSIM_SetHead(0);  // 40K: bank 0 registers as numbered
    QEL_Init();
    int status = 0;
    for (int i = 0; i < 2000 && (QEL_GetStatus(&status) != 0 || status == 0); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  static void TearDownTestSuite() { QEL_Term(); }

  // Sends v through the control's function and checks the raw register and the getter.
  static void ExpectLands(DeviceFunction f, int v, const std::string& what) {
    const Place place = PlaceOf(f.param);
    ASSERT_GE(place.reg, 0) << what;
    ASSERT_EQ(SetDevice(f, v), 0) << what;
    unsigned char raw[2] = {};
    ASSERT_EQ(QEL_DeviceRead(0, place.reg + f.index, 2, raw), 0) << what;
    EXPECT_EQ(Decode(place.pack, raw), v) << what;
    int back = 0;
    EXPECT_EQ(GetDevice(f, &back), 0) << what;
    EXPECT_EQ(back, v) << what;
  }
};

TEST_F(DeviceFunctions, EverySliderReachesItsRegister) {
  int status = 0;
  ASSERT_EQ(QEL_GetStatus(&status), 0);
  ASSERT_EQ(status, 1);
  for (int i = 0; i < kSliderCount; ++i) {
    const SliderRow& row = kSliders[i];
    if (row.device.param == Param::kNone) continue;
    // Both ends, distinct for every row, so a neighbour's register cannot pass by chance.
    ExpectLands(row.device, row.range.min, "slider " + std::to_string(i));
    ExpectLands(row.device, row.range.max - (i % 3), "slider " + std::to_string(i));
  }
}

TEST_F(DeviceFunctions, EveryListReachesItsRegister) {
  for (int j = 0; j < kListCount; ++j) {
    const int count = static_cast<int>(ListTexts(j, 0).size());
    for (const int p : {count - 1, 0}) {
      ExpectLands(kLists[j].device, ListToDevice(j, p, 0),
                  "list " + std::to_string(j) + " position " + std::to_string(p));
    }
  }
}

TEST_F(DeviceFunctions, CallsOutsideTheTableAreRefused) {
  int value = 0;
  EXPECT_EQ(SetDevice({Param::kNone, 0}, 1), -1);
  EXPECT_EQ(GetDevice({Param::kNone, 0}, &value), -1);
  EXPECT_EQ(SetDevice({Param::kCIS_Type, 0}, 1), -1);    // read-only
  EXPECT_EQ(SetDevice({Param::kBlackLevel, 1}, 1), -1);  // scalar with an index
  EXPECT_EQ(GetDevice({Param::kHysteresis, 4}, &value), -1);
  EXPECT_EQ(GetDevice({Param::kCIS_Type, 0}, &value), 0);
  EXPECT_EQ(value, 0);
}

TEST(ParamTable, NamesFoundWhateverTheirCase) {
  ASSERT_NE(FindParam("exposuretime"), nullptr);
  EXPECT_STREQ(FindParam("EXPOSURETIME")->name, "ExposureTime");
  EXPECT_EQ(ParamOf(*FindParam("GainYC")), Param::kGainYC);
  EXPECT_EQ(FindParam("GainYC")->count, 3);
  EXPECT_EQ(FindParam("Exposure"), nullptr);
  EXPECT_EQ(FindParam(""), nullptr);
  EXPECT_EQ(FieldRange(FindParam("ColorMatrix")->field), (Range{-256, 255}));
  EXPECT_EQ(FieldRange(FindParam("GainRB")->field), (Range{-255, 255}));
  EXPECT_EQ(FieldRange(FindParam("Gamma")->field), (Range{0, 15}));
  EXPECT_EQ(FieldRange(FindParam("AWB")->field), (Range{0, 65535}));
}

}  // namespace
