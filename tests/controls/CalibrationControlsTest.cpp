// Calibration page controls model: trackbar texts and ranges per head type, groups, the mirror
// back to the Picture page, enabling, the defaults reset and the "num of frames" field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlsTestSupport.h"
#include "viewer/calibration/core/CalibrationControls.h"

namespace {

using namespace calibration;
using controlstest::Strings;
using picture::Param;
using ::testing::ElementsAre;

constexpr int k40K = 0;
constexpr int k160K = 1;

TEST(CalibrationControls, TrackbarTextsRangesAndSteps) {
  EXPECT_EQ(TrackbarValueText(kTrackbarExposure, 400), "28.8ms");
  EXPECT_EQ(TrackbarValueText(kTrackbarGain, 16), "x1.000");
  EXPECT_EQ(TrackbarValueText(kTrackbarTarget, 50), "12");
  EXPECT_EQ(TrackbarValueText(kTrackbarAlcTarget, 4095), "1023");
  EXPECT_EQ(TrackbarValueText(kTrackbarThreshold, 128), "128");
  EXPECT_EQ(TrackbarValueText(kTrackbarExcludedArea, 37), "37 pix");

  EXPECT_EQ(TrackbarRange(kTrackbarExcludedArea, k40K), (picture::Range{0, 100}));
  EXPECT_EQ(TrackbarRange(kTrackbarExcludedArea, k160K), (picture::Range{0, 200}));
  EXPECT_EQ(TrackbarPageStep(kTrackbarExcludedArea, k40K), 10);
  EXPECT_EQ(TrackbarPageStep(kTrackbarExcludedArea, k160K), 20);
  EXPECT_EQ(TrackbarPageStep(kTrackbarExposure, k160K), 43);
  EXPECT_EQ(TrackbarPageStep(kTrackbarTarget, k40K), 404);

  EXPECT_STREQ(kTrackbars[kTrackbarGain].label.For(k40K), "Digital Gain");
  EXPECT_STREQ(kTrackbars[kTrackbarGain].label.For(k160K), "RAW Gain");
  EXPECT_STREQ(kTrackbars[kTrackbarTarget].label.For(k160K), "AGC/AEC Tartget");
  EXPECT_FALSE(TrackbarShown(kTrackbarExposure, k40K));
  EXPECT_TRUE(TrackbarShown(kTrackbarExposure, k160K));
  EXPECT_TRUE(TrackbarShown(kTrackbarExcludedArea, k40K));
}

// A moved trackbar calls the same function as its Picture twin and updates it.
TEST(CalibrationControls, TwinsOnThePicturePage) {
  const std::pair<int, int> twins[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {7, 23}, {8, 28}};
  for (const auto& [k, i] : twins) {
    EXPECT_EQ(PictureTwinOfTrackbar(k), i) << k;
    EXPECT_EQ(kTrackbars[k].device, picture::kSliders[i].device) << k;
  }
  for (const int k : {4, 5, 6, 9}) {
    EXPECT_EQ(PictureTwinOfTrackbar(k), -1) << k;
    EXPECT_EQ(kTrackbars[k].device.param, Param::kNone) << k;
  }
  EXPECT_EQ(PictureTwinOfCombo(kComboGamma), picture::kListGamma);
  EXPECT_EQ(PictureTwinOfCombo(kComboDefectCorr), picture::kListDefectCorr);
  EXPECT_EQ(PictureTwinOfCombo(kComboDefectType), -1);
  EXPECT_EQ(PictureTwinOfCombo(kComboFpnMode), -1);
  EXPECT_EQ(kCombos[kComboGamma].device.param, Param::kGamma);
  EXPECT_EQ(kCombos[kComboDefectCorr].device.param, Param::kDP_Corr);
  EXPECT_EQ(kCombos[kComboFpnMode].device.param, Param::kNone);
  EXPECT_THAT(Strings(kCombos[kComboFpnMode].texts), ElementsAre("Off", "On (Mode2)"));
  EXPECT_THAT(Strings(kCombos[kComboDefectType].texts), ElementsAre("Dark", "Bright"));
}

TEST(CalibrationControls, EnablingFollowsThePicturePage) {
  const auto on160K = Enabling(picture::ComputeEnabling({k160K, 1, 0, 0, 0}));  // MGC+AEC
  EXPECT_EQ(on160K[kTrackbarExposure], false);
  EXPECT_EQ(on160K[kTrackbarGain], true);
  EXPECT_EQ(on160K[kTrackbarTarget], true);
  EXPECT_EQ(on160K[kTrackbarLightLevel], false);
  EXPECT_EQ(on160K[kTrackbarAlcTarget], false);
  EXPECT_FALSE(on160K[kTrackbarBlackLevel]);
  EXPECT_FALSE(on160K[kTrackbarThreshold]);

  const auto on40K = Enabling(picture::ComputeEnabling({k40K, 1, 1, 0, 0}));  // AGC with ALC
  EXPECT_FALSE(on40K[kTrackbarExposure]);                                     // hidden, left alone
  EXPECT_EQ(on40K[kTrackbarTarget], false);
  EXPECT_EQ(on40K[kTrackbarAlcTarget], true);
}

TEST(CalibrationControls, GroupsAndSelector) {
  EXPECT_THAT(Strings(GroupSelectorTexts(k40K)),
              ElementsAre("Gain/Light Control", "Gamma Setting", "Defective Pixel Detection"));
  EXPECT_THAT(
      Strings(GroupSelectorTexts(k160K)),
      ElementsAre("Gain/Exposure/Light Control", "Gamma Setting", "Defective Pixel Detection"));
  EXPECT_EQ(GroupPosition(GroupId::kGamma, 1, false), (picture::Point{830, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kGain, 1, false), (picture::Point{4670, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kDefect, 2, false), (picture::Point{830, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kUsage, 0, false), (picture::Point{4670, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kGain, 0, true), (picture::Point{830, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kGamma, 0, true), (picture::Point{830, 490}));
  EXPECT_EQ(GroupPosition(GroupId::kDefect, 0, true), (picture::Point{1163, 290}));
  EXPECT_EQ(GroupPosition(GroupId::kFpn, 0, true), (picture::Point{1496, 290}));
}

TEST(CalibrationControls, DefaultsReset) {
  std::vector<int> indices;
  for (const TrackbarReset& r : DefaultsReset(false)) indices.push_back(r.index);
  EXPECT_THAT(indices, ElementsAre(4, 5, 6, 8, 9));
  const std::vector<TrackbarReset> all = DefaultsReset(true);
  ASSERT_EQ(all.size(), 10u);
  const std::pair<int, int> sent[] = {{0, 0}, {1, 400}, {2, 128}, {3, 50}, {7, 0}, {8, 50}};
  for (const auto& [k, value] : sent) {
    EXPECT_NE(all[k].set.param, Param::kNone) << k;
    EXPECT_EQ(all[k].value, value) << k;
  }
  EXPECT_EQ(all[kTrackbarThreshold].value, 128);
  EXPECT_EQ(all[kTrackbarThreshold].set.param, Param::kNone);
  EXPECT_EQ(kComboResetCalls[0].param, Param::kGamma);
  EXPECT_EQ(kComboResetCalls[1].param, Param::kDP_Corr);
}

TEST(CalibrationControls, CisEepromRowsAndFpnSave) {
  EXPECT_THAT(kCisEepromControlIds,
              ElementsAre(6005, 7005, 8005, 3011, 6006, 7006, 8006, 3012, 3016, 3021));
  EXPECT_FALSE(FpnSaveEnabled(true, 0));
  EXPECT_TRUE(FpnSaveEnabled(true, 1));
  EXPECT_FALSE(FpnSaveEnabled(false, 1));
}

TEST(CalibrationControls, FrameCountField) {
  const std::pair<const char*, int> cases[] = {
      {"250", 100}, {"0", 1},     {"a", 1},   {"", 1},   {"37", 37},
      {"100", 100}, {"101", 100}, {"12a", 1}, {"-5", 1}, {"99999999999999999999", 100},
      {"007", 7}};
  for (const auto& [text, frames] : cases) EXPECT_EQ(FrameCountFromText(text), frames) << text;
  EXPECT_EQ(StepFrameCount(100, 1), 100);
  EXPECT_EQ(StepFrameCount(1, -1), 1);
  EXPECT_EQ(StepFrameCount(5, 1), 6);
}

}  // namespace
