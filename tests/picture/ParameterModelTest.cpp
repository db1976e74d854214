// The mirror rules of the parameter model: which write reaches the other page, and as what.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewer/picture/core/ParameterModel.h"

namespace picture {
namespace {

enum class Write { kPictureSlider, kPictureList, kTrackbar, kCombo };
using Kind = ParameterNotice::Kind;

struct Rule {
  Write write;
  int index;
  int value;
  Origin origin;
  std::optional<Side> side;  // the page told, if any
  int shownIndex = -1;
  int shownValue = 0;
};

TEST(ParameterModel, MirrorRules) {
  constexpr Origin kUnit = Origin::kUnit;
  constexpr Origin kPage = Origin::kPage;
  constexpr Side kCal = Side::kCalibration;
  constexpr Side kPic = Side::kPicture;
  const Rule rules[] = {
      {Write::kPictureSlider, kSliderExposure, 300, kPage, kCal, 1, 300},
      {Write::kPictureSlider, kSliderAlcTarget, 40, kUnit, kCal, 8, 40},
      {Write::kPictureSlider, kSliderCisUsageCount, 7, kUnit, kCal, 5, 7},
      {Write::kPictureSlider, kSliderCisUsageCount, 7, kPage, std::nullopt},
      {Write::kPictureSlider, 8, 5, kUnit, std::nullopt},  // red gain: not on the other page
      {Write::kPictureList, kListFpnCorr, 2, kUnit, kCal, 3, 1},
      {Write::kPictureList, kListFpnCorr, 2, kPage, std::nullopt},
      {Write::kPictureList, kListGamma, 1, kPage, kCal, 0, 1},
      {Write::kPictureList, kListImageFlip, 1, kUnit, std::nullopt},
      {Write::kTrackbar, 2, 12, kPage, kPic, kSliderGain, 12},
      {Write::kTrackbar, 4, 40, kPage, std::nullopt},  // the upper limit follows Camera Info only
      {Write::kCombo, 1, 1, kPage, kPic, kListDefectCorr, 1},
      {Write::kCombo, 3, 1, kPage, std::nullopt},  // the FPN mode follows the unit only
  };
  for (const Rule& rule : rules) {
    ParameterModel model;
    std::vector<std::pair<Side, ParameterNotice>> told;
    for (Side side : {kPic, kCal}) {
      model.Subscribe(side, [&told, side](const ParameterNotice& n) { told.push_back({side, n}); });
    }
    switch (rule.write) {
      case Write::kPictureSlider:
        model.WritePictureSlider(rule.index, rule.value, rule.origin);
        break;
      case Write::kPictureList:
        model.WritePictureList(rule.index, rule.value, rule.origin);
        break;
      case Write::kTrackbar:
        model.WriteCalibrationTrackbar(rule.index, rule.value);
        break;
      case Write::kCombo:
        model.WriteCalibrationCombo(rule.index, rule.value);
        break;
    }
    const std::string what = std::to_string(int(rule.write)) + "/" + std::to_string(rule.index);
    if (!rule.side) {
      EXPECT_TRUE(told.empty()) << what;
      continue;
    }
    ASSERT_EQ(told.size(), 1u) << what;
    EXPECT_EQ(told[0].first, *rule.side) << what;
    EXPECT_EQ(told[0].second.kind, rule.write == Write::kPictureList || rule.write == Write::kCombo
                                       ? Kind::kList
                                       : Kind::kSlider)
        << what;
    EXPECT_EQ(told[0].second.index, rule.shownIndex) << what;
    EXPECT_EQ(told[0].second.value, rule.shownValue) << what;
  }
}

}  // namespace
}  // namespace picture
