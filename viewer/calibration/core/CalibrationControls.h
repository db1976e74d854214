// The Calibration page's controls as data: trackbars, combo boxes, groups and their layout, the
// defaults reset and the "num of frames" field rule. Mirrors to the Picture page are the tables
// in viewer/picture/core/Controls.h; viewer/picture/core/ParameterModel.h applies them.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "viewer/picture/core/Controls.h"

namespace calibration {

constexpr int kTrackbarCount = 10;
constexpr int kComboCount = 4;  // 5002..5005
constexpr int kGroupCount = 5;

constexpr int TrackbarId(int k) {
  return 7001 + k;
}
constexpr int TrackbarLabelId(int k) {
  return 6001 + k;
}
constexpr int TrackbarValueId(int k) {
  return 8001 + k;
}
constexpr int ComboId(int k) {
  return 5002 + k;
}
constexpr int ComboLabelId(int k) {
  return 4002 + k;
}

enum TrackbarIndex : int {
  kTrackbarBlackLevel = 0,
  kTrackbarExposure = 1,
  kTrackbarGain = 2,
  kTrackbarTarget = 3,
  kTrackbarUpperLimit = 4,
  kTrackbarUsageCount = 5,
  kTrackbarThreshold = 6,
  kTrackbarLightLevel = 7,
  kTrackbarAlcTarget = 8,
  kTrackbarExcludedArea = 9,
};
enum ComboIndex : int {
  kComboGamma = 0,
  kComboDefectCorr = 1,
  kComboDefectType = 2,
  kComboFpnMode = 3,
};

struct TrackbarRow {
  picture::TypedText label;
  int min;
  int max40K;
  int max160K;
  int defaultValue;
  picture::ValueText text;
  picture::DeviceFunction device;  // kNone: moving it sends nothing
};
extern const std::array<TrackbarRow, kTrackbarCount> kTrackbars;

picture::Range TrackbarRange(int k, int cisType);
int TrackbarPageStep(int k, int cisType);
std::string TrackbarValueText(int k, int v);
// Exposure row shown only with a 160K head.
bool TrackbarShown(int k, int cisType);

struct ComboRow {
  const char* label;
  picture::Texts texts;
  picture::DeviceFunction device;  // called with the chosen position; kNone: stored only
};
extern const std::array<ComboRow, kComboCount> kCombos;

// Group selector 9203: item g shows group kSelectorGroups[g].
picture::Texts GroupSelectorTexts(int cisType);
extern const std::array<int, 3> kSelectorGroups;

enum class GroupId : int {
  kGain = 9501,
  kGamma = 9502,
  kUsage = 9503,  // never shown
  kDefect = 9504,
  kFpn = 9505,  // never shown
};
struct Group {
  GroupId id;
  picture::TypedText title;
  bool shown;
  picture::Point wide;  // position in the wide layout
  std::span<const picture::GroupItem> items;
};
extern const std::array<Group, kGroupCount> kGroups;
// Wide layout: every group at its place; compact: the group of selector item `selected` at
// (830, 290), the others at x = 4670, off the page.
picture::Point GroupPosition(GroupId id, int selected, bool wideLayout);

// Trackbar enabling follows the Picture page: exposure, gain, target, light level and ALC target
// take the flags of their Picture twins; an empty entry is left as it is.
std::array<std::optional<bool>, kTrackbarCount> Enabling(const picture::Enabling& picture);
// The Picture slider a moved trackbar updates, or -1.
int PictureTwinOfTrackbar(int k);
// The Picture list a chosen combo updates, or -1.
int PictureTwinOfCombo(int k);

// CIS-EEPROM save rows of this page, switched with the Picture page's.
extern const std::array<int, 10> kCisEepromControlIds;
constexpr int kIdFpnSave = 3021;
// The FPN "Save" stays disabled while the FPN mode combo is at "Off".
constexpr bool FpnSaveEnabled(bool cisEepromControlsEnabled, int fpnModePosition) {
  return cisEepromControlsEnabled && fpnModePosition != 0;
}

// Defaults reset: all ten trackbars, or only those of the tools on this page (upper limit, usage
// count, threshold, ALC target, excluded area). The device is told about the reset ones that
// call a function.
struct TrackbarReset {
  int index;
  int value;
  picture::DeviceFunction set;
};
std::vector<TrackbarReset> DefaultsReset(bool all);
// After the trackbars: every combo at its first item, and these two calls.
extern const std::array<picture::DeviceFunction, 2> kComboResetCalls;

extern const std::array<picture::Forward, 6> kForwardingButtons;

// "num of frames": the field's text read as an unsigned number, kept within 1..100 (not a
// number counts as 1); the up-down steps by one within the same limits.
constexpr int kMinFrames = 1;
constexpr int kMaxFrames = 100;
int FrameCountFromText(std::string_view text);
int StepFrameCount(int frames, int delta);

}  // namespace calibration
