// The controls' device functions reach the registers the unit's map gives their parameters: every
// slider and list of the Picture page, sent through the simulated unit and read back raw.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ControlsTestSupport.h"
#include "QEL_API.h"
#include "QEL_Sim.h"
#include "viewer/picture/core/Controls.h"

namespace {

using namespace picture;

using namespace controlstest;

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
