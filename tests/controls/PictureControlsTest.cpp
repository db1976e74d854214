// Picture page controls model: value texts, page steps, list/device value rules for both head
// types, head-type texts, shown rows, enabling rules, refresh plans, mirrors and defaults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ControlsTestSupport.h"
#include "viewer/picture/core/Controls.h"

namespace {

using namespace picture;
using controlstest::RegisterOf;
using controlstest::Strings;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr int k40K = 0;
constexpr int k160K = 1;

struct ValueCase {
  int slider;
  int v;
  const char* text;
};

TEST(PictureControls, SliderValueTexts) {
  const ValueCase cases[] = {
      {1, 400, "28.8ms"},   {1, 438, "31.5ms"},   {1, 0, "0.0ms"},     {2, 128, "x8.000"},
      {2, 16, "x1.000"},    {3, 50, "12"},        {3, 4095, "1023"},   {28, 4095, "1023"},
      {4, 4095, "1023"},    {7, 3, "0"},          {8, 255, "8.976dB"}, {8, -255, "-8.976dB"},
      {9, -1, "-0.035dB"},  {21, 255, "8.976dB"}, {10, 128, "1.00"},   {10, -256, "-2.00"},
      {10, 255, "1.99"},    {18, -1, "-0.01"},    {14, 128, "1.00"},   {25, 24, "1.5000"},
      {25, 255, "15.9375"}, {0, 255, "255"},      {22, 15, "15"},      {23, 1023, "1023"},
      {24, 16, "16"},       {26, 255, "255"},     {27, 7, "7"},
  };
  for (const ValueCase& c : cases) {
    EXPECT_EQ(SliderValueText(c.slider, c.v), c.text) << "slider " << c.slider << " at " << c.v;
  }
}

TEST(PictureControls, PageStepIsATenthOfTheRange) {
  const std::pair<int, int> cases[] = {{1, 43},  {10, 51}, {18, 51}, {3, 404}, {28, 404},
                                       {4, 409}, {8, 51},  {0, 25},  {22, 1},  {23, 102}};
  for (const auto& [slider, step] : cases) {
    EXPECT_EQ(PageStep(kSliders[slider].range), step) << "slider " << slider;
  }
}

struct ListCase {
  int list;
  int cisType;
  int from;
  int to;
};

TEST(PictureControls, ListToDevice) {
  const ListCase cases[] = {
      {0, k40K, 0, 0},   {0, k40K, 1, 3},  {0, k160K, 0, 0}, {0, k160K, 1, 1},  {0, k160K, 2, 3},
      {1, k40K, 2, 2},   {5, k160K, 3, 3}, {8, k40K, 0, 0},  {8, k40K, 3, 3},   {8, k160K, 0, 1},
      {8, k160K, 2, 3},  {10, k40K, 0, 0}, {10, k40K, 1, 2}, {10, k160K, 1, 2}, {15, k40K, 0, 1},
      {15, k160K, 2, 3}, {16, k40K, 1, 1}, {17, k160K, 0, 0}};
  for (const ListCase& c : cases) {
    EXPECT_EQ(ListToDevice(c.list, c.from, c.cisType), c.to)
        << "list " << c.list << " type " << c.cisType << " position " << c.from;
  }
}

TEST(PictureControls, ListFromDevice) {
  const ListCase cases[] = {
      {0, k40K, 0, 0},  {0, k40K, 1, 1},   {0, k40K, 2, 1},  {0, k40K, 3, 1},   {0, k160K, 0, 0},
      {0, k160K, 1, 1}, {0, k160K, 2, 2},  {0, k160K, 3, 2}, {8, k40K, 0, 0},   {8, k40K, 3, 3},
      {8, k160K, 0, 0}, {8, k160K, 1, 0},  {8, k160K, 3, 2}, {10, k40K, 0, 0},  {10, k40K, 1, 1},
      {10, k40K, 2, 1}, {10, k160K, 2, 1}, {15, k40K, 0, 0}, {15, k160K, 1, 0}, {15, k40K, 3, 2},
      {6, k40K, 2, 2},  {16, k160K, 1, 1}};
  for (const ListCase& c : cases) {
    EXPECT_EQ(ListFromDevice(c.list, c.from, c.cisType), c.to)
        << "list " << c.list << " type " << c.cisType << " device " << c.from;
  }
}

TEST(PictureControls, EveryListPositionSurvivesTheDeviceAndBack) {
  for (const int type : {k40K, k160K}) {
    for (int j = 0; j < kListCount; ++j) {
      const int count = static_cast<int>(ListTexts(j, type).size());
      ASSERT_GT(count, 1) << "list " << j;
      for (int p = 0; p < count; ++p) {
        EXPECT_EQ(ListFromDevice(j, ListToDevice(j, p, type), type), p)
            << "list " << j << " type " << type << " position " << p;
      }
    }
  }
}

TEST(PictureControls, ListTextsFollowTheHeadType) {
  EXPECT_THAT(Strings(ListTexts(kListGainControl, k40K)), ElementsAre("MGC", "AGC"));
  EXPECT_THAT(Strings(ListTexts(kListGainControl, k160K)),
              ElementsAre("MGC+MEC", "MGC+AEC", "AGC+AEC"));
  EXPECT_EQ(ListTexts(kListDviImageSize, k40K).size(), 4u);
  EXPECT_STREQ(ListTexts(kListDviImageSize, k40K)[0], "200x200 (100%)");
  EXPECT_THAT(Strings(ListTexts(kListDviImageSize, k160K)),
              ElementsAre("400x400 (100%)", "600x600 (150%)", "800x800 (200%)"));
  EXPECT_THAT(Strings(ListTexts(kListVoutCurrent, k160K)), ElementsAre("5.0mA", "3.3mA", "2.5mA"));
  EXPECT_THAT(Strings(ZoomTexts(k40K)), ElementsAre("100%", "200%", "400%"));
  EXPECT_THAT(Strings(ZoomTexts(k160K)), ElementsAre("100%", "200%"));
  EXPECT_STREQ(kGroups[0].title.For(k40K), "Gain/Light Control");
  EXPECT_STREQ(kGroups[0].title.For(k160K), "Gain/Exposure/Light Control");
  EXPECT_STREQ(kGroups[4].title.For(k40K), "CIS-EEPROM Control");
}

TEST(PictureControls, TextsThatChangeWithTheHeadType) {
  const auto texts = [](int type) {
    std::vector<std::pair<int, std::string>> out;
    for (const IdText& t : CisTypeTexts(type)) out.emplace_back(t.id, t.text);
    return out;
  };
  using P = std::pair<int, std::string>;
  EXPECT_THAT(texts(k40K),
              ::testing::UnorderedElementsAre(P{9501, "Gain/Light Control"},
                                              P{4002, "Gain Control"}, P{6003, "Digital Gain"},
                                              P{6004, "AGC Tartget"}, P{4004, "AGC/ALC Speed"},
                                              P{4005, "AGC/ALC Area1"}, P{4006, "AGC/ALC Area2"}));
  EXPECT_THAT(texts(k160K),
              ::testing::UnorderedElementsAre(
                  P{9501, "Gain/Exposure/Light Control"}, P{4002, "Gain/Exposure Control"},
                  P{6003, "RAW Gain"}, P{6004, "AGC/AEC Tartget"}, P{4004, "AGC/AEC/ALC Speed"},
                  P{4005, "AGC/AEC/ALC Area1"}, P{4006, "AGC/AEC/ALC Area2"}));
}

TEST(PictureControls, RowsShownPerHeadTypeAndExpertMode) {
  EXPECT_FALSE(SliderShown(kSliderExposure, k40K, true));
  EXPECT_TRUE(SliderShown(kSliderExposure, k160K, false));
  EXPECT_FALSE(ListShown(kListVfpnCorr, k40K));
  EXPECT_TRUE(ListShown(kListVfpnCorr, k160K));
  for (const int alcRow : {kSliderAlcLowerLimit, kSliderAlcParameter}) {
    EXPECT_FALSE(SliderShown(alcRow, k160K, false));
    EXPECT_TRUE(SliderShown(alcRow, k40K, true));
  }
  EXPECT_TRUE(SliderShown(kSliderAlcTarget, k40K, false));
  EXPECT_TRUE(ListShown(kListGainControl, k40K));
}

// Every row sits in exactly one group, so the compact layout can reach each of them.
TEST(PictureControls, GroupsHoldEveryRowOnce) {
  std::multiset<int> sliders;
  std::multiset<int> lists;
  for (const Group& g : kGroups) {
    for (const GroupItem& item : g.items) {
      if (item.kind == ItemKind::kSlider) {
        sliders.insert(item.index);
        EXPECT_EQ(item.id, SliderId(item.index));
      }
      if (item.kind == ItemKind::kList) {
        lists.insert(item.index);
        EXPECT_EQ(item.id, ListId(item.index));
      }
    }
  }
  for (int i = 0; i < kSliderCount; ++i) EXPECT_EQ(sliders.count(i), 1u) << "slider " << i;
  for (int j = 0; j < kListCount; ++j) EXPECT_EQ(lists.count(j), 1u) << "list " << j;
}

TEST(PictureControls, GroupPositions) {
  EXPECT_EQ(GroupPosition(0, 0, true), (Point{830, 290}));
  EXPECT_EQ(GroupPosition(1, 0, true), (Point{1163, 290}));
  EXPECT_EQ(GroupPosition(2, 0, true), (Point{1496, 290}));
  EXPECT_EQ(GroupPosition(3, 0, true), (Point{1163, 735}));
  EXPECT_EQ(GroupPosition(4, 0, true), (Point{1496, 595}));
  EXPECT_EQ(GroupPosition(3, 3, false), (Point{830, 290}));
  EXPECT_EQ(GroupPosition(0, 3, false), (Point{830 + 3840, 290}));
  EXPECT_EQ(GroupPosition(5, 5, true), (Point{830 + 3840, 290}));
}

TEST(PictureControls, RowsOutsideTheTablesAreHarmless) {
  EXPECT_EQ(SliderValueText(29, 5), "");
  EXPECT_EQ(SliderValueText(-1, 5), "");
  EXPECT_TRUE(ListTexts(18, k40K).empty());
  EXPECT_EQ(ListToDevice(18, 2, k160K), 2);
  EXPECT_EQ(ListFromDevice(-1, 2, k160K), 2);
}

struct EnablingCase {
  const char* what;
  ModePositions modes;
  std::vector<std::pair<int, bool>> sliders;  // expected flags of governed rows
  std::vector<std::pair<int, bool>> lists;
  std::vector<int> untouchedSliders;
};

TEST(PictureControls, EnablingRules) {
  const EnablingCase cases[] = {
      {"40K AGC with ALC: target off, hysteresis, speed, areas and ALC rows on",
       {k40K, 1, 1, 0, 0},
       {{3, false},
        {4, true},
        {7, true},
        {28, true},
        {24, true},
        {25, true},
        {2, false},
        {23, false}},
       {{2, true}, {3, true}, {4, true}},
       {kSliderExposure, kSliderBlackLevel}},
      {"160K MGC+AEC: gain and target on, exposure off",
       {k160K, 1, 0, 0, 0},
       {{2, true}, {3, true}, {1, false}, {4, true}, {28, false}},
       {{2, true}},
       {kSliderBlackLevel}},
      {"160K AGC+AEC with ALC: target off",
       {k160K, 2, 1, 0, 0},
       {{3, false}, {2, false}, {1, false}, {5, true}},
       {},
       {}},
      {"160K AGC+AEC without ALC: target on", {k160K, 2, 0, 0, 0}, {{3, true}, {2, false}}, {}, {}},
      {"160K manual: exposure and gain on, automatic rows off",
       {k160K, 0, 0, 0, 0},
       {{1, true}, {2, true}, {3, false}, {6, false}, {28, false}, {23, false}},
       {{2, false}, {4, false}},
       {}},
      {"40K manual with MLC: light level on, ALC rows off",
       {k40K, 0, 2, 0, 0},
       {{23, true}, {28, false}, {24, false}, {4, false}, {2, true}},
       {{3, false}},
       {kSliderExposure}},
      {"40K manual with ALC: hysteresis on, target off",
       {k40K, 0, 1, 0, 0},
       {{4, true}, {3, false}, {28, true}},
       {{2, true}},
       {}},
      {"H Flip disables rotation", {k40K, 0, 0, 1, 0}, {}, {{6, true}, {7, false}}, {}},
      {"Normal again enables rotation", {k40K, 0, 0, 0, 0}, {}, {{6, true}, {7, true}}, {}},
      {"90 degree with Normal disables flip", {k160K, 0, 0, 0, 1}, {}, {{6, false}, {7, true}}, {}},
      {"flip and rotation both set: flip stays on",
       {k160K, 0, 0, 2, 3},
       {},
       {{6, true}, {7, false}},
       {}},
  };
  for (const EnablingCase& c : cases) {
    const Enabling e = ComputeEnabling(c.modes);
    for (const auto& [i, on] : c.sliders) {
      ASSERT_TRUE(e.sliders[i].has_value()) << c.what << ": slider " << i;
      EXPECT_EQ(*e.sliders[i], on) << c.what << ": slider " << i;
    }
    for (const auto& [j, on] : c.lists) {
      ASSERT_TRUE(e.lists[j].has_value()) << c.what << ": list " << j;
      EXPECT_EQ(*e.lists[j], on) << c.what << ": list " << j;
    }
    for (const int i : c.untouchedSliders) EXPECT_FALSE(e.sliders[i]) << c.what << ": " << i;
  }
}

// A read feeds the control whose device function is the same parameter.
void ExpectFeedsItsOwnControl(const ReadStep& read) {
  if (read.target == Target::kSlider) {
    EXPECT_EQ(kSliders[read.index].device, read.get);
  } else if (read.target == Target::kList) {
    EXPECT_EQ(kLists[read.index].device, read.get);
  }
}

TEST(PictureControls, ChangeBitReadsTheRegisterOfItsNumber) {
  int reads = 0;
  for (int bit = 0; bit < 48; ++bit) {
    for (const ReadStep& read : ChangeReads(bit)) {
      ++reads;
      EXPECT_EQ(RegisterOf(read.get), bit) << "bit " << bit;
      EXPECT_NE(read.target, Target::kNone) << "bit " << bit;
      ExpectFeedsItsOwnControl(read);
    }
  }
  EXPECT_EQ(reads, 42);
  EXPECT_TRUE(ChangeReads(16).empty());  // AWB is not shown
  for (int bit = 36; bit < 48; ++bit) EXPECT_TRUE(ChangeReads(bit).empty()) << bit;
}

TEST(PictureControls, ChangeRefreshPlanVisitsBitsInOrder) {
  const uint8_t onlyAwb[6] = {0, 0, 0x01, 0, 0, 0};
  EXPECT_TRUE(ChangeRefreshPlan(onlyAwb).empty());
  EXPECT_TRUE(AnyChange(onlyAwb));  // the enabling update still runs
  const uint8_t none[6] = {};
  EXPECT_FALSE(AnyChange(none));

  const uint8_t mask[6] = {0x04, 0, 0, 0, 0x09, 0x80};  // bits 2, 32, 35, 47
  std::vector<std::pair<Target, int>> fed;
  for (const ReadStep& r : ChangeRefreshPlan(mask)) fed.emplace_back(r.target, r.index);
  EXPECT_THAT(fed, ElementsAre(std::pair{Target::kSlider, 0}, std::pair{Target::kList, 5},
                               std::pair{Target::kList, 6}, std::pair{Target::kList, 7},
                               std::pair{Target::kList, 8}, std::pair{Target::kList, 9},
                               std::pair{Target::kList, 10}));

  const uint8_t all[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  for (const ReadStep& r : ChangeRefreshPlan(all)) {
    EXPECT_NE(r.get.param, Param::kCIS_VoutCurrent);
    EXPECT_NE(r.get.param, Param::kCIS_ConnectionDet);
    EXPECT_NE(r.get.param, Param::kCIS_OverCurrentDet);
  }
}

TEST(PictureControls, FullRefreshReadsInItsOrder) {
  std::vector<std::string> order;
  for (const ReadStep& r : FullRefreshReads()) {
    std::string name = Info(r.get.param).name;
    if (Info(r.get.param).count > 1) name += std::to_string(r.get.index);
    order.push_back(name);
    ExpectFeedsItsOwnControl(r);
  }
  const char* expected[] = {"ControlMode0",
                            "ControlMode1",
                            "BlackLevel",
                            "ExposureTime",
                            "RawGain",
                            "Hysteresis0",
                            "Hysteresis1",
                            "Hysteresis2",
                            "Hysteresis3",
                            "AGC_AEC_Target",
                            "ControlSpeed",
                            "ControlMonitor0",
                            "ControlMonitor1",
                            "LightLevel",
                            "MinLightLevel",
                            "ALC_Param",
                            "AWB",
                            "GainRB0",
                            "GainRB1",
                            "ColorMatrix0",
                            "ColorMatrix1",
                            "ColorMatrix2",
                            "ColorMatrix3",
                            "ColorMatrix4",
                            "ColorMatrix5",
                            "ColorMatrix6",
                            "ColorMatrix7",
                            "ColorMatrix8",
                            "GainYC0",
                            "GainYC1",
                            "GainYC2",
                            "ALC_Target",
                            "Gamma",
                            "ImageFlip",
                            "ImageRotation",
                            "DVI_ImageSize",
                            "DP_Corr",
                            "FPN_Corr",
                            "NoiseReduction",
                            "EdgeEnhancement",
                            "VFPN_Corr",
                            "DVI_Resolution",
                            "CIS_ImageFineAdj",
                            "CIS_VoutCurrent",
                            "CIS_ConnectionDet",
                            "CIS_OverCurrentDet"};
  EXPECT_THAT(order, ElementsAreArray(expected));
  EXPECT_EQ(FullRefreshReads()[16].target, Target::kNone);  // AWB read, not shown
}

TEST(PictureControls, MirrorsToTheCalibrationPage) {
  const std::pair<int, int> sliders[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {23, 7}, {28, 8}};
  for (const auto& [picture, calibration] : sliders) {
    const SliderMirror* m = MirrorOfSlider(picture);
    ASSERT_NE(m, nullptr) << picture;
    EXPECT_EQ(m->calibration, calibration);
    EXPECT_FALSE(m->cameraInfoOnly);
  }
  ASSERT_NE(MirrorOfSlider(26), nullptr);
  EXPECT_EQ(MirrorOfSlider(26)->calibration, 4);
  EXPECT_TRUE(MirrorOfSlider(27)->cameraInfoOnly);
  EXPECT_EQ(MirrorOfSlider(24), nullptr);
  EXPECT_EQ(MirrorOfSlider(4), nullptr);

  EXPECT_EQ(MirrorOfList(kListGamma)->calibration, 0);
  EXPECT_TRUE(MirrorOfList(kListGamma)->onChoice);
  EXPECT_EQ(MirrorOfList(kListDefectCorr)->calibration, 1);
  EXPECT_EQ(MirrorOfList(kListFpnCorr)->calibration, 3);
  EXPECT_FALSE(MirrorOfList(kListFpnCorr)->onChoice);
  EXPECT_EQ(MirrorOfList(kListImageFlip), nullptr);
}

TEST(PictureControls, ApplicationDefaultsOrderAndSentValues) {
  for (const int type : {k40K, k160K}) {
    const std::vector<DefaultStep> steps = ApplicationDefaults(type);
    ASSERT_EQ(steps.size(), 47u);
    EXPECT_EQ(steps.front().index, kSliderAlcTarget);
    EXPECT_EQ(steps.front().sent, 50);
    EXPECT_EQ(steps[28].index, kSliderBlackLevel);
    EXPECT_EQ(steps[29].target, Target::kList);
    EXPECT_EQ(steps[29].index, kListGainControl);
    for (const DefaultStep& s : steps) {
      if (s.target == Target::kSlider && (s.index == 26 || s.index == 27)) {
        EXPECT_EQ(s.set.param, Param::kNone);
      }
    }
    const DefaultStep& exposure = steps[28 - kSliderExposure];
    EXPECT_EQ(exposure.sent, 400);
    EXPECT_EQ(steps[29 + kListVoutCurrent].sent, 1);  // shown as "5.0mA"
    EXPECT_EQ(steps[29 + 16].sent, 1);                // connection detection on
    EXPECT_EQ(steps[29 + kListFpnCorr].sent, 0);
  }
  // Device size 0 shows as the 160K list's first entry, which sends 1.
  EXPECT_EQ(ApplicationDefaults(k40K)[29 + kListDviImageSize].sent, 0);
  EXPECT_EQ(ApplicationDefaults(k160K)[29 + kListDviImageSize].sent, 1);
}

TEST(PictureControls, ListSelectionFollowsChangesOrTheForcedRefresh) {
  PageState state;
  EXPECT_EQ(state.sliders[kSliderExposure], 400);
  EXPECT_EQ(state.sliders[10], 128);
  EXPECT_TRUE(state.SelectListFromDevice(16, 1));   // list starts at 0, default device 1
  EXPECT_FALSE(state.SelectListFromDevice(16, 1));  // unchanged: left alone
  state.forcedListRefresh = true;
  EXPECT_TRUE(state.SelectListFromDevice(16, 1));
  state.forcedListRefresh = false;

  EXPECT_TRUE(state.SelectListFromDevice(kListGainControl, 2));  // any automatic mode: "AGC"
  EXPECT_EQ(state.listPositions[kListGainControl], 1);
  EXPECT_EQ(state.ListDevice(kListGainControl), 3);
  state.cisType = k160K;
  EXPECT_TRUE(state.SelectListFromDevice(kListGainControl, 2));
  EXPECT_EQ(state.listPositions[kListGainControl], 2);
  EXPECT_EQ(state.Modes().gainControl, 2);
  EXPECT_EQ(state.Modes().cisType, k160K);
}

TEST(PictureControls, CisEepromSwitchedControls) {
  EXPECT_THAT(kSerialControlIds, ElementsAre(9604, 2001, 3012, 3013, 3016));
  EXPECT_THAT(kCisEepromControlIds,
              ElementsAre(9402, 3008, 9403, 3009, 6027, 7027, 8027, 3010, 6028, 7028, 8028, 3011));
  EXPECT_FALSE(SerialControlsEnabled(0));
  EXPECT_TRUE(SerialControlsEnabled(1));
  EXPECT_FALSE(CisEepromControlsEnabled(1));
  EXPECT_TRUE(CisEepromControlsEnabled(2));
}

TEST(PictureControls, AllowedDeviceValuesOfAControl) {
  const auto exposure = ControlValues({Param::kExposureTime, 0}, k40K);
  ASSERT_TRUE(exposure);
  EXPECT_EQ(exposure->range, (Range{0, 438}));
  EXPECT_TRUE(exposure->Contains(438));
  EXPECT_FALSE(exposure->Contains(439));

  const auto gainMode40K = ControlValues({Param::kControlMode, 0}, k40K);
  ASSERT_TRUE(gainMode40K);
  EXPECT_THAT(gainMode40K->values, ElementsAre(0, 3));
  EXPECT_FALSE(gainMode40K->Contains(1));
  EXPECT_THAT(ControlValues({Param::kControlMode, 0}, k160K)->values, ElementsAre(0, 1, 3));
  EXPECT_THAT(ControlValues({Param::kDVI_ImageSize, 0}, k160K)->values, ElementsAre(1, 2, 3));
  EXPECT_THAT(ControlValues({Param::kFPN_Corr, 0}, k40K)->values, ElementsAre(0, 2));
  EXPECT_EQ(ControlValues({Param::kHysteresis, 2}, k40K)->range, (Range{0, 4095}));
  EXPECT_FALSE(ControlValues({Param::kAWB, 0}, k40K));
  EXPECT_FALSE(ControlValues({Param::kHysteresis, 4}, k40K));
}

}  // namespace
