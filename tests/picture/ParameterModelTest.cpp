// The mirror rules of the parameter model: which write reaches the other page, and as what.
#include <gtest/gtest.h>

#include <vector>

#include "viewer/picture/core/ParameterModel.h"

namespace picture {
namespace {

TEST(ParameterModel, MirrorRules) {
  enum Write { kSlider, kList, kTrackbar, kCombo };
  constexpr Origin kUnit = Origin::kUnit, kPage = Origin::kPage;
  constexpr int kNone = -1, kPic = int(Side::kPicture), kCal = int(Side::kCalibration);
  // The write, then the page told (kNone: neither) and the row and value it shows.
  const struct {
    Write write;
    int index, value;
    Origin origin;
    int side, shownIndex, shownValue;
  } rules[] = {
      {kSlider, kSliderExposure, 300, kPage, kCal, 1, 300},
      {kSlider, kSliderAlcTarget, 40, kUnit, kCal, 8, 40},
      {kSlider, kSliderCisUsageCount, 7, kUnit, kCal, 5, 7},
      {kSlider, kSliderCisUsageCount, 7, kPage, kNone, 0, 0},  // follows Camera Info only
      {kSlider, 8, 5, kUnit, kNone, 0, 0},                     // red gain: Picture page only
      {kList, kListFpnCorr, 2, kUnit, kCal, 3, 1},             // "On" for every correction
      {kList, kListFpnCorr, 2, kPage, kNone, 0, 0},
      {kList, kListGamma, 1, kPage, kCal, 0, 1},
      {kList, kListImageFlip, 1, kUnit, kNone, 0, 0},
      {kTrackbar, 2, 12, kPage, kPic, kSliderGain, 12},
      {kTrackbar, 4, 40, kPage, kNone, 0, 0},  // the upper limit follows Camera Info only
      {kCombo, 1, 1, kPage, kPic, kListDefectCorr, 1},
      {kCombo, 3, 1, kPage, kNone, 0, 0},  // the FPN mode follows the unit only
  };
  for (const auto& rule : rules) {
    ParameterModel model;
    std::vector<std::vector<int>> told;
    for (Side side : {Side::kPicture, Side::kCalibration}) {
      model.Subscribe(side, [&told, side](const ParameterNotice& n) {
        told.push_back({int(side), int(n.kind), n.index, n.value});
      });
    }
    if (rule.write == kSlider) model.WritePictureSlider(rule.index, rule.value, rule.origin);
    if (rule.write == kList) model.WritePictureList(rule.index, rule.value, rule.origin);
    if (rule.write == kTrackbar) model.WriteCalibrationTrackbar(rule.index, rule.value);
    if (rule.write == kCombo) model.WriteCalibrationCombo(rule.index, rule.value);
    const auto kind =
        int(rule.write == kList || rule.write == kCombo ? ParameterNotice::Kind::kList
                                                        : ParameterNotice::Kind::kSlider);
    const auto expected =
        rule.side == kNone
            ? std::vector<std::vector<int>>{}
            : std::vector<std::vector<int>>{{rule.side, kind, rule.shownIndex, rule.shownValue}};
    EXPECT_EQ(told, expected) << rule.write << "/" << rule.index;
  }
}

}  // namespace
}  // namespace picture
