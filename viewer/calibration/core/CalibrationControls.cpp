// Tables and rules of the Calibration page's controls.
#include "viewer/calibration/core/CalibrationControls.h"

#include <algorithm>
#include <cctype>

namespace calibration {
namespace {

using picture::DeviceFunction;
using picture::GroupItem;
using picture::Param;
using picture::TypedText;
using picture::ValueText;
using enum picture::ItemKind;

constexpr DeviceFunction Call(Param param) {
  return {param, 0};
}
constexpr TypedText Same(const char* text) {
  return {text, text};
}

constexpr const char* kGammaModes[] = {"Off", "Curve1", "Curve2", "Curve3"};
constexpr const char* kOffOn[] = {"Off", "On"};
constexpr const char* kDefectTypes[] = {"Dark", "Bright"};
constexpr const char* kFpnModes[] = {"Off", "On (Mode2)"};
constexpr const char* kSelector40K[] = {"Gain/Light Control", "Gamma Setting",
                                        "Defective Pixel Detection"};
constexpr const char* kSelector160K[] = {"Gain/Exposure/Light Control", "Gamma Setting",
                                         "Defective Pixel Detection"};

constexpr GroupItem Trackbar(int k, int y) {
  return {kSlider, TrackbarId(k), k, 0, y, nullptr};
}
constexpr GroupItem Combo(int k, int y) {
  return {kList, ComboId(k), k, 0, y, nullptr};
}

// Columns inside a group: labels +15, first button column +140, second +245.
constexpr int kLabelColumn = 15;
constexpr int kFirstButton = 140;
constexpr int kSecondButton = 245;

constexpr GroupItem kGainGroup[] = {
    Trackbar(kTrackbarBlackLevel, 24),       Trackbar(kTrackbarExposure, 48),
    Trackbar(kTrackbarLightLevel, 72),       Trackbar(kTrackbarGain, 96),
    {kSeparator, 9301, -1, 0, 128, nullptr}, Trackbar(kTrackbarTarget, 144),
    Trackbar(kTrackbarAlcTarget, 168),
};

constexpr GroupItem kGammaGroup[] = {
    Combo(kComboGamma, 24),
    {kButton, 3007, -1, kFirstButton, 48, "Upload"},
    {kButton, 3008, -1, kSecondButton, 48, "Download"},
    {kButton, 3009, -1, kFirstButton, 72, "Save"},
    {kButton, 3010, -1, kSecondButton, 72, "Clear"},
};

// Never shown; its rows keep the page's pitch.
constexpr GroupItem kUsageGroup[] = {
    Trackbar(kTrackbarUpperLimit, 24),
    {kButton, 3011, -1, kFirstButton, 48, "Save"},
    Trackbar(kTrackbarUsageCount, 72),
    {kButton, 3012, -1, kFirstButton, 96, "Save"},
};

constexpr GroupItem kDefectGroup[] = {
    Combo(kComboDefectCorr, 24),
    Combo(kComboDefectType, 48),
    Trackbar(kTrackbarThreshold, 72),
    Trackbar(kTrackbarExcludedArea, 96),
    {kStatic, 9407, -1, kLabelColumn, 120, "Detection"},
    {kButton, 3013, -1, kFirstButton, 120, "Start"},
    {kButton, 7029, -1, kSecondButton, 120, "Display"},  // check box
    {kButton, 3014, -1, kFirstButton, 144, "Upload"},
    {kButton, 3015, -1, kSecondButton, 144, "Download"},
    {kButton, 3016, -1, kFirstButton, 168, "Save"},
    {kButton, 3017, -1, kSecondButton, 168, "Clear"},
    {kEdit, 2001, -1, kLabelColumn, 192, nullptr},
};

// Never shown; its rows keep the page's pitch.
constexpr GroupItem kFpnGroup[] = {
    Combo(kComboFpnMode, 24),
    {kStatic, 9412, -1, kLabelColumn, 48, "Detection"},
    {kButton, 3018, -1, kFirstButton, 48, "Start"},
    {kButton, 3019, -1, kFirstButton, 72, "Upload"},
    {kButton, 3020, -1, kSecondButton, 72, "Download"},
    {kButton, 3021, -1, kFirstButton, 96, "Save"},
    {kButton, 3022, -1, kSecondButton, 96, "Clear"},
    {kEdit, 2002, -1, kLabelColumn, 120, nullptr},
};

constexpr picture::Point kShownPosition{830, 290};
constexpr int kHiddenX = 4670;

}  // namespace

const std::array<TrackbarRow, kTrackbarCount> kTrackbars = {{
    {Same("Black Level"), 0, 255, 255, 0, ValueText::kUnsigned, Call(Param::kBlackLevel)},
    {Same("Exposure Time"), 0, 438, 438, 400, ValueText::kExposure, Call(Param::kExposureTime)},
    {{"Digital Gain", "RAW Gain"}, 16, 255, 255, 128, ValueText::kGain, Call(Param::kRawGain)},
    {{"AGC Tartget", "AGC/AEC Tartget"},
     50,
     4095,
     4095,
     50,
     ValueText::kTarget,
     Call(Param::kAGC_AEC_Target)},
    {Same("Upper Limit"), 0, 255, 255, 0, ValueText::kUnsigned, {}},
    {Same("Usage Count"), 0, 255, 255, 0, ValueText::kUnsigned, {}},
    {Same("Threshold Level"), 0, 255, 255, 128, ValueText::kUnsigned, {}},
    {Same("Light Level"), 0, 1023, 1023, 0, ValueText::kUnsigned, Call(Param::kLightLevel)},
    {Same("ALC Target"), 50, 4095, 4095, 50, ValueText::kTarget, Call(Param::kALC_Target)},
    // Published to the live-view overlay rather than sent to the unit.
    {Same("Excluded Area"), 0, 100, 200, 0, ValueText::kPixels, {}},
}};

const std::array<ComboRow, kComboCount> kCombos = {{
    {"Mode", kGammaModes, Call(Param::kGamma)},
    {"Mode", kOffOn, Call(Param::kDP_Corr)},
    {"Defect Pixel Type", kDefectTypes, {}},
    {"Mode", kFpnModes, {}},
}};

const std::array<int, 3> kSelectorGroups = {static_cast<int>(GroupId::kGain),
                                            static_cast<int>(GroupId::kGamma),
                                            static_cast<int>(GroupId::kDefect)};

const std::array<Group, kGroupCount> kGroups = {{
    {GroupId::kGain,
     {"Gain/Light Control", "Gain/Exposure/Light Control"},
     true,
     {830, 290},
     kGainGroup},
    {GroupId::kGamma, Same("Gamma Setting"), true, {830, 490}, kGammaGroup},
    {GroupId::kUsage, Same("Usage Count"), false, {830, 595}, kUsageGroup},
    {GroupId::kDefect, Same("Defect Pixel Detection"), true, {1163, 290}, kDefectGroup},
    {GroupId::kFpn, Same("FPN Detection"), false, {1496, 290}, kFpnGroup},
}};

picture::Range TrackbarRange(int k, int cisType) {
  if (k < 0 || k >= kTrackbarCount) return {0, 0};
  const TrackbarRow& row = kTrackbars[k];
  return {row.min, cisType == 0 ? row.max40K : row.max160K};
}

int TrackbarPageStep(int k, int cisType) {
  return picture::PageStep(TrackbarRange(k, cisType));
}

std::string TrackbarValueText(int k, int v) {
  if (k < 0 || k >= kTrackbarCount) return {};
  return picture::FormatValue(kTrackbars[k].text, v);
}

bool TrackbarShown(int k, int cisType) {
  return k != kTrackbarExposure || cisType != 0;
}

picture::Texts GroupSelectorTexts(int cisType) {
  return cisType == 0 ? picture::Texts(kSelector40K) : picture::Texts(kSelector160K);
}

picture::Point GroupPosition(GroupId id, int selected, bool wideLayout) {
  const auto group =
      std::find_if(kGroups.begin(), kGroups.end(), [id](const Group& g) { return g.id == id; });
  if (wideLayout) return group->wide;
  const bool chosen = selected >= 0 && selected < static_cast<int>(kSelectorGroups.size()) &&
                      kSelectorGroups[selected] == static_cast<int>(id);
  return chosen ? kShownPosition : picture::Point{kHiddenX, kShownPosition.y};
}

std::array<std::optional<bool>, kTrackbarCount> Enabling(const picture::Enabling& picture) {
  std::array<std::optional<bool>, kTrackbarCount> out{};
  for (const picture::SliderMirror& m : picture::kSliderMirrors) {
    if (!m.cameraInfoOnly) out[m.calibration] = picture.sliders[m.picture];
  }
  return out;
}

int PictureTwinOfTrackbar(int k) {
  for (const picture::SliderMirror& m : picture::kSliderMirrors) {
    if (m.calibration == k && !m.cameraInfoOnly) return m.picture;
  }
  return -1;
}

int PictureTwinOfCombo(int k) {
  for (const picture::ListMirror& m : picture::kListMirrors) {
    if (m.calibration == k && m.onChoice) return m.picture;
  }
  return -1;
}

const std::array<int, 10> kCisEepromControlIds = {TrackbarLabelId(kTrackbarUpperLimit),
                                                  TrackbarId(kTrackbarUpperLimit),
                                                  TrackbarValueId(kTrackbarUpperLimit),
                                                  3011,
                                                  TrackbarLabelId(kTrackbarUsageCount),
                                                  TrackbarId(kTrackbarUsageCount),
                                                  TrackbarValueId(kTrackbarUsageCount),
                                                  3012,
                                                  3016,
                                                  kIdFpnSave};

std::vector<TrackbarReset> DefaultsReset(bool all) {
  constexpr int kToolTrackbars[] = {kTrackbarUpperLimit, kTrackbarUsageCount, kTrackbarThreshold,
                                    kTrackbarAlcTarget, kTrackbarExcludedArea};
  std::vector<TrackbarReset> out;
  for (int k = 0; k < kTrackbarCount; ++k) {
    if (!all && std::find(std::begin(kToolTrackbars), std::end(kToolTrackbars), k) ==
                    std::end(kToolTrackbars))
      continue;
    out.push_back({k, kTrackbars[k].defaultValue, kTrackbars[k].device});
  }
  return out;
}

const std::array<picture::DeviceFunction, 2> kComboResetCalls = {Call(Param::kGamma),
                                                                 Call(Param::kDP_Corr)};

const std::array<picture::Forward, 6> kForwardingButtons = {{
    {3001, 40016},  // "Default": Load Default Parameter
    {3002, 40014},  // "Data Write": Save Parameter
    {3003, 40013},  // "Data Read": Load Parameter
    {3004, 40008},  // "Video Capture"
    {3005, 40009},  // "Still Capture"
    {9603, 40010},  // "Save as CSV"
}};

int FrameCountFromText(std::string_view text) {
  if (text.empty()) return kMinFrames;
  unsigned long long value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return kMinFrames;
    value =
        std::min<unsigned long long>(value * 10 + static_cast<unsigned>(c - '0'), kMaxFrames + 1);
  }
  return static_cast<int>(std::clamp<unsigned long long>(value, kMinFrames, kMaxFrames));
}

int StepFrameCount(int frames, int delta) {
  return std::clamp(frames + delta, kMinFrames, kMaxFrames);
}

}  // namespace calibration
