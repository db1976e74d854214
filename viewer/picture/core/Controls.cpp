// Tables and rules of the Picture page's controls.
#include "viewer/picture/core/Controls.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace picture {
namespace {

constexpr DeviceFunction Call(Param param, int index = 0) {
  return {param, static_cast<uint8_t>(index)};
}
constexpr DeviceFunction kNoCall{};

constexpr TypedText Same(const char* text) {
  return {text, text};
}

constexpr const char* kGainControl40K[] = {"MGC", "AGC"};
constexpr const char* kGainControl160K[] = {"MGC+MEC", "MGC+AEC", "AGC+AEC"};
constexpr const char* kLightControl[] = {"Off", "ALC", "MLC"};
constexpr const char* kSpeed[] = {"0", "1", "2", "3", "4", "5", "6", "7"};
constexpr const char* kArea1[] = {"All",   "12.5%", "25.0%", "37.5%",
                                  "50.0%", "62.5%", "75.0%", "87.5%"};
constexpr const char* kArea2[] = {"Inside", "Outside"};
constexpr const char* kGamma[] = {"Off", "Curve1", "Curve2", "Curve3"};
constexpr const char* kFlip[] = {"Normal", "H Flip", "V Flip", "H+V Flip"};
constexpr const char* kRotation[] = {"0 degree", "90 degree", "180 degree", "270 degree"};
constexpr const char* kDviSize40K[] = {"200x200 (100%)", "400x400 (200%)", "600x600 (300%)",
                                       "800x800 (400%)"};
constexpr const char* kDviSize160K[] = {"400x400 (100%)", "600x600 (150%)", "800x800 (200%)"};
constexpr const char* kOffOn[] = {"Off", "On"};
constexpr const char* kLevels[] = {"Off", "Low", "Mid", "High"};
constexpr const char* kDviResolution[] = {"800x480", "1024x600", "1280x720", "1600x900"};
constexpr const char* kVout[] = {"5.0mA", "3.3mA", "2.5mA"};
constexpr const char* kZoom40K[] = {"100%", "200%", "400%"};
constexpr const char* kZoom160K[] = {"100%", "200%"};

constexpr Range kMatrixRange{-256, 255};
constexpr Range kDecibelRange{-255, 255};
constexpr Range kTargetRange{50, 4095};
constexpr Range kHysteresisRange{0, 4095};

}  // namespace

const std::array<SliderRow, kSliderCount> kSliders = {{
    {Same("Black Level"), {0, 255}, 0, ValueText::kUnsigned, Call(Param::kBlackLevel)},
    {Same("Exposure Time"), {0, 438}, 400, ValueText::kExposure, Call(Param::kExposureTime)},
    {{"Digital Gain", "RAW Gain"}, {16, 255}, 128, ValueText::kGain, Call(Param::kRawGain)},
    {{"AGC Tartget", "AGC/AEC Tartget"},
     kTargetRange,
     50,
     ValueText::kTarget,
     Call(Param::kAGC_AEC_Target)},
    {Same("Target Hysteresis A1"), kHysteresisRange, 0, ValueText::kTarget,
     Call(Param::kHysteresis, 0)},
    {Same("Target Hysteresis A2"), kHysteresisRange, 0, ValueText::kTarget,
     Call(Param::kHysteresis, 1)},
    {Same("Target Hysteresis B1"), kHysteresisRange, 0, ValueText::kTarget,
     Call(Param::kHysteresis, 2)},
    {Same("Target Hysteresis B2"), kHysteresisRange, 0, ValueText::kTarget,
     Call(Param::kHysteresis, 3)},
    {Same("Red Gain"), kDecibelRange, 0, ValueText::kDecibel, Call(Param::kGainRB, 0)},
    {Same("Blue Gain"), kDecibelRange, 0, ValueText::kDecibel, Call(Param::kGainRB, 1)},
    {Same("Color Matrix Rr"), kMatrixRange, 128, ValueText::kMatrix, Call(Param::kColorMatrix, 0)},
    {Same("Color Matrix Rg"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 1)},
    {Same("Color Matrix Rb"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 2)},
    {Same("Color Matrix Gr"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 3)},
    {Same("Color Matrix Gg"), kMatrixRange, 128, ValueText::kMatrix, Call(Param::kColorMatrix, 4)},
    {Same("Color Matrix Gb"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 5)},
    {Same("Color Matrix Br"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 6)},
    {Same("Color Matrix Bg"), kMatrixRange, 0, ValueText::kMatrix, Call(Param::kColorMatrix, 7)},
    {Same("Color Matrix Bb"), kMatrixRange, 128, ValueText::kMatrix, Call(Param::kColorMatrix, 8)},
    {Same("Y Gain"), kDecibelRange, 0, ValueText::kDecibel, Call(Param::kGainYC, 0)},
    {Same("Cb Gain"), kDecibelRange, 0, ValueText::kDecibel, Call(Param::kGainYC, 1)},
    {Same("Cr Gain"), kDecibelRange, 0, ValueText::kDecibel, Call(Param::kGainYC, 2)},
    {Same("Image Fine Adj. (IFA)"),
     {0, 15},
     0,
     ValueText::kUnsigned,
     Call(Param::kCIS_ImageFineAdj)},
    {Same("Light Level"), {0, 1023}, 0, ValueText::kUnsigned, Call(Param::kLightLevel)},
    {Same("ALC Lower Limit"), {0, 1023}, 16, ValueText::kUnsigned, Call(Param::kMinLightLevel)},
    {Same("ALC Parameter"), {16, 255}, 24, ValueText::kAlcParam, Call(Param::kALC_Param)},
    // The head's records are written by their Save buttons, never by moving the slider.
    {Same("CIS Upper Limit"), {0, 255}, 0, ValueText::kUnsigned, kNoCall},
    {Same("CIS Usage Count"), {0, 255}, 0, ValueText::kUnsigned, kNoCall},
    {Same("ALC Target"), kTargetRange, 50, ValueText::kTarget, Call(Param::kALC_Target)},
}};

const std::array<ListRow, kListCount> kLists = {{
    {{"Gain Control", "Gain/Exposure Control"},
     kGainControl40K,
     kGainControl160K,
     ListRule::kGainControl,
     0,
     Call(Param::kControlMode, 0)},
    {Same("Light Control"), kLightControl, kLightControl, ListRule::kSame, 0,
     Call(Param::kControlMode, 1)},
    {{"AGC/ALC Speed", "AGC/AEC/ALC Speed"},
     kSpeed,
     kSpeed,
     ListRule::kSame,
     0,
     Call(Param::kControlSpeed)},
    {{"AGC/ALC Area1", "AGC/AEC/ALC Area1"},
     kArea1,
     kArea1,
     ListRule::kSame,
     0,
     Call(Param::kControlMonitor, 0)},
    {{"AGC/ALC Area2", "AGC/AEC/ALC Area2"},
     kArea2,
     kArea2,
     ListRule::kSame,
     0,
     Call(Param::kControlMonitor, 1)},
    {Same("Gamma"), kGamma, kGamma, ListRule::kSame, 0, Call(Param::kGamma)},
    {Same("Image Flip"), kFlip, kFlip, ListRule::kSame, 0, Call(Param::kImageFlip)},
    {Same("Image Rotation"), kRotation, kRotation, ListRule::kSame, 0, Call(Param::kImageRotation)},
    {Same("DVI Image Size"), kDviSize40K, kDviSize160K, ListRule::kDviImageSize, 0,
     Call(Param::kDVI_ImageSize)},
    {Same("Defect Pixel Corr."), kOffOn, kOffOn, ListRule::kSame, 0, Call(Param::kDP_Corr)},
    {Same("FPN Corr."), kOffOn, kOffOn, ListRule::kFpn, 0, Call(Param::kFPN_Corr)},
    {Same("Noise Reduction"), kLevels, kLevels, ListRule::kSame, 0, Call(Param::kNoiseReduction)},
    {Same("Edge Enhancement"), kLevels, kLevels, ListRule::kSame, 0, Call(Param::kEdgeEnhancement)},
    {Same("VFPN Corr."), kOffOn, kOffOn, ListRule::kSame, 0, Call(Param::kVFPN_Corr)},
    {Same("DVI Resolution"), kDviResolution, kDviResolution, ListRule::kSame, 0,
     Call(Param::kDVI_Resolution)},
    {Same("CIS Vout Current"), kVout, kVout, ListRule::kFromOne, 1, Call(Param::kCIS_VoutCurrent)},
    {Same("CIS Connection Det."), kOffOn, kOffOn, ListRule::kSame, 1,
     Call(Param::kCIS_ConnectionDet)},
    {Same("CIS Over Current Det."), kOffOn, kOffOn, ListRule::kSame, 1,
     Call(Param::kCIS_OverCurrentDet)},
}};

std::string FormatValue(ValueText text, int v) {
  char out[32];
  switch (text) {
    case ValueText::kUnsigned:
      std::snprintf(out, sizeof out, "%u", static_cast<unsigned>(v));
      break;
    case ValueText::kExposure:
      std::snprintf(out, sizeof out, "%.1fms", v * 0.072);
      break;
    case ValueText::kGain:
      std::snprintf(out, sizeof out, "x%.3f", v * 0.0625);
      break;
    case ValueText::kTarget:
      std::snprintf(out, sizeof out, "%d", v >> 2);
      break;
    case ValueText::kDecibel:
      std::snprintf(out, sizeof out, "%.3fdB", v * 0.0352);
      break;
    case ValueText::kMatrix:
      std::snprintf(out, sizeof out, "%.2f", v * 0.0078125);
      break;
    case ValueText::kAlcParam:
      std::snprintf(out, sizeof out, "%.4f", v * 0.0625);
      break;
    case ValueText::kPixels:
      std::snprintf(out, sizeof out, "%d pix", v);
      break;
  }
  return out;
}

namespace {

constexpr bool IsSlider(int i) {
  return i >= 0 && i < kSliderCount;
}
constexpr bool IsList(int j) {
  return j >= 0 && j < kListCount;
}

}  // namespace

std::string SliderValueText(int i, int v) {
  return IsSlider(i) ? FormatValue(kSliders[i].text, v) : std::string();
}

Texts ListTexts(int j, int cisType) {
  if (!IsList(j)) return {};
  return cisType == 0 ? kLists[j].texts40K : kLists[j].texts160K;
}

int ListToDevice(int j, int position, int cisType) {
  if (!IsList(j)) return position;
  switch (kLists[j].rule) {
    case ListRule::kSame:
      return position;
    case ListRule::kGainControl:
      // Device 3 is automatic gain (with automatic exposure on a 160K head); the last entry.
      if (cisType == 0) return position == 1 ? 3 : position;
      return position == 2 ? 3 : position;
    case ListRule::kDviImageSize:
      return cisType == 0 ? position : position + 1;
    case ListRule::kFpn:
      return position == 1 ? 2 : position;
    case ListRule::kFromOne:
      return position + 1;
  }
  return position;
}

int ListFromDevice(int j, int device, int cisType) {
  if (!IsList(j)) return device;
  switch (kLists[j].rule) {
    case ListRule::kSame:
      return device;
    case ListRule::kGainControl:
      if (cisType == 0) return device > 0 ? 1 : device;
      return device > 1 ? 2 : device;
    case ListRule::kDviImageSize:
      if (cisType == 0) return device;
      return device > 0 ? device - 1 : device;
    case ListRule::kFpn:
      return device > 0 ? 1 : device;
    case ListRule::kFromOne:
      return device > 0 ? device - 1 : device;
  }
  return device;
}

bool DeviceValues::Contains(int v) const {
  if (values.empty()) return range.Contains(v);
  return std::find(values.begin(), values.end(), v) != values.end();
}

std::optional<DeviceValues> ControlValues(DeviceFunction function, int cisType) {
  for (const SliderRow& row : kSliders) {
    if (row.device == function) return DeviceValues{row.range, {}};
  }
  for (int j = 0; j < kListCount; ++j) {
    if (kLists[j].device != function) continue;
    DeviceValues out{{0, 0}, {}};
    const int count = static_cast<int>(ListTexts(j, cisType).size());
    for (int p = 0; p < count; ++p) out.values.push_back(ListToDevice(j, p, cisType));
    std::sort(out.values.begin(), out.values.end());
    out.range = {out.values.front(), out.values.back()};
    return out;
  }
  return std::nullopt;
}

DeviceValues AllowedValues(DeviceFunction function, int cisType) {
  if (auto values = ControlValues(function, cisType)) return *values;
  if (function.param >= Param::kNone) return {{0, 0}, {}};
  return {FieldRange(Info(function.param).field), {}};
}

Texts ZoomTexts(int cisType) {
  return cisType == 0 ? Texts(kZoom40K) : Texts(kZoom160K);
}

bool SliderShown(int i, int cisType, bool expertMode) {
  if (i == kSliderExposure) return cisType != 0;
  if (i == kSliderAlcLowerLimit || i == kSliderAlcParameter) return expertMode;
  return true;
}

bool ListShown(int j, int cisType) {
  return j != kListVfpnCorr || cisType != 0;
}

namespace {

using enum ItemKind;

constexpr GroupItem SliderAt(int i, int y) {
  return {kSlider, SliderId(i), i, 0, y, nullptr};
}
constexpr GroupItem ListAt(int j, int y) {
  return {kList, ListId(j), j, 0, y, nullptr};
}
constexpr GroupItem Separator(int id, int y) {
  return {kSeparator, id, -1, 0, y, nullptr};
}

// Columns inside a group: labels at +15, sliders at +130, lists and buttons at +140.
constexpr int kLabelColumn = 15;
constexpr int kButtonColumn = 140;

constexpr GroupItem kGainGroup[] = {
    ListAt(kListGainControl, 24),
    ListAt(kListLightControl, 48),
    Separator(9301, 80),
    SliderAt(kSliderBlackLevel, 96),
    SliderAt(kSliderExposure, 120),
    SliderAt(kSliderLightLevel, 144),
    SliderAt(kSliderGain, 168),
    Separator(9302, 200),
    SliderAt(kSliderTarget, 216),
    SliderAt(kSliderAlcTarget, 240),
    SliderAt(4, 264),
    SliderAt(5, 288),
    SliderAt(6, 312),
    SliderAt(7, 336),
    ListAt(kListSpeed, 360),
    ListAt(kListArea1, 384),
    ListAt(kListArea2, 408),
    Separator(kIdExpertSeparator, 440),
    SliderAt(kSliderAlcLowerLimit, 456),
    SliderAt(kSliderAlcParameter, 480),
};

constexpr GroupItem kColorGroup[] = {
    {kStatic, 9401, -1, kLabelColumn, 24, "1Push AWB"},
    {kButton, 3007, -1, kButtonColumn, 24, "Exec"},
    SliderAt(8, 48),
    SliderAt(9, 72),
    Separator(9303, 104),
    SliderAt(10, 120),
    SliderAt(11, 144),
    SliderAt(12, 168),
    SliderAt(13, 192),
    SliderAt(14, 216),
    SliderAt(15, 240),
    SliderAt(16, 264),
    SliderAt(17, 288),
    SliderAt(18, 312),
    Separator(9304, 344),
    SliderAt(19, 360),
    SliderAt(20, 384),
    SliderAt(21, 408),
};

constexpr GroupItem kImageGroup[] = {
    ListAt(kListGamma, 24),
    ListAt(kListImageFlip, 48),
    ListAt(kListImageRotation, 72),
    ListAt(14, 96),
    ListAt(kListDviImageSize, 120),
    ListAt(kListDefectCorr, 144),
    ListAt(kListFpnCorr, 168),
    {kButton, 3014, -1, 250, 168, "Exec"},
    ListAt(kListVfpnCorr, 192),
    ListAt(11, 216),
    ListAt(12, 240),
    SliderAt(22, 264),
};

constexpr GroupItem kMiscGroup[] = {
    ListAt(kListVoutCurrent, 24),
    ListAt(16, 48),
    ListAt(17, 72),
    {kStatic, 9404, -1, kLabelColumn, 96, "CIS Manual Detect"},
    {kButton, 3015, -1, kButtonColumn, 96, "Exec"},
};

constexpr GroupItem kCisEepromGroup[] = {
    SliderAt(kSliderCisUsageCount, 24),
    {kButton, 3011, -1, 130, 48, "Save"},
    SliderAt(kSliderCisUpperLimit, 72),
    {kButton, 3010, -1, 130, 96, "Save"},
    Separator(9306, 128),
    {kStatic, 9402, -1, kLabelColumn, 144, "White Balance (Red Gain && Blue Gain) Data"},
    {kButton, 3008, -1, 240, 144, "Save"},
    {kStatic, 9403, -1, kLabelColumn, 168, "Image Fine Adj. (IFA) Data"},
    {kButton, 3009, -1, 240, 168, "Save"},
    Separator(9307, 200),
    {kStatic, 9604, -1, kLabelColumn, 216, "Serial No."},
    {kEdit, 2001, -1, 130, 216, nullptr},
    {kButton, 3012, -1, 130, 240, "Write"},
    {kButton, 3013, -1, 210, 240, "Read"},
    {kButton, 3016, -1, 130, 264, "Write && Init"},
};

constexpr Point kCompactPosition{830, 290};
constexpr int kOffPage = 3840;

}  // namespace

const std::array<Group, kGroupCount> kGroups = {{
    {9501, {"Gain/Light Control", "Gain/Exposure/Light Control"}, 830, 290, kGainGroup},
    {9502, Same("Color Control"), 1163, 290, kColorGroup},
    {9503, Same("Image Control"), 1496, 290, kImageGroup},
    {9504, Same("Misc. Control"), 1163, 735, kMiscGroup},
    {9505, Same("CIS-EEPROM Control"), 1496, 595, kCisEepromGroup},
}};

Point GroupPosition(int g, int currentGroup, bool wideLayout) {
  const Point offPage{kCompactPosition.x + kOffPage, kCompactPosition.y};
  if (g < 0 || g >= kGroupCount) return offPage;
  if (wideLayout) return {kGroups[g].wideX, kGroups[g].wideY};
  return g == currentGroup ? kCompactPosition : offPage;
}

std::vector<IdText> CisTypeTexts(int cisType) {
  std::vector<IdText> out{{kGroups[0].id, kGroups[0].title.For(cisType)}};
  for (int j = 0; j < kListCount; ++j) {
    const TypedText& label = kLists[j].label;
    if (std::string_view(label.k40K) != label.k160K)
      out.push_back({ListLabelId(j), label.For(cisType)});
  }
  for (int i = 0; i < kSliderCount; ++i) {
    const TypedText& label = kSliders[i].label;
    if (std::string_view(label.k40K) != label.k160K)
      out.push_back({SliderLabelId(i), label.For(cisType)});
  }
  return out;
}

Enabling ComputeEnabling(const ModePositions& m) {
  const bool is40K = m.cisType == 0;
  const int g = m.gainControl;
  const int lastGain = is40K ? 1 : 2;  // "AGC" / "AGC+AEC"
  const bool automatic = is40K ? g == 1 : (g == 1 || g == 2);
  const bool alc = m.lightControl == 1;

  Enabling e;
  e.sliders[kSliderGain] = is40K ? g == 0 : (g == 0 || g == 1);
  // Hidden on a 40K head, where the exposure row is left alone.
  if (!is40K) e.sliders[kSliderExposure] = g == 0;
  e.sliders[kSliderTarget] = automatic && !(alc && g == lastGain);
  for (int i = kSliderHysteresisA1; i < kSliderHysteresisA1 + 4; ++i) {
    e.sliders[i] = automatic || alc;
  }
  e.lists[kListSpeed] = e.lists[kListArea1] = e.lists[kListArea2] = automatic || alc;
  e.sliders[kSliderAlcTarget] = e.sliders[kSliderAlcLowerLimit] = e.sliders[kSliderAlcParameter] =
      alc;
  e.sliders[kSliderLightLevel] = m.lightControl == 2;
  e.lists[kListImageFlip] = m.imageFlip != 0 || m.imageRotation == 0;
  e.lists[kListImageRotation] = m.imageFlip == 0;
  return e;
}

const std::array<int, 5> kSerialControlIds = {9604, 2001, 3012, 3013, 3016};
const std::array<int, 12> kCisEepromControlIds = {9402,
                                                  3008,
                                                  9403,
                                                  3009,
                                                  SliderLabelId(kSliderCisUpperLimit),
                                                  SliderId(kSliderCisUpperLimit),
                                                  SliderValueId(kSliderCisUpperLimit),
                                                  3010,
                                                  SliderLabelId(kSliderCisUsageCount),
                                                  SliderId(kSliderCisUsageCount),
                                                  SliderValueId(kSliderCisUsageCount),
                                                  3011};

namespace {

constexpr ReadStep ToSlider(DeviceFunction get, int i) {
  return {get, Target::kSlider, i};
}
constexpr ReadStep ToList(DeviceFunction get, int j) {
  return {get, Target::kList, j};
}

constexpr ReadStep kFullRefresh[] = {
    ToList(Call(Param::kControlMode, 0), kListGainControl),
    ToList(Call(Param::kControlMode, 1), kListLightControl),
    ToSlider(Call(Param::kBlackLevel), kSliderBlackLevel),
    ToSlider(Call(Param::kExposureTime), kSliderExposure),
    ToSlider(Call(Param::kRawGain), kSliderGain),
    ToSlider(Call(Param::kHysteresis, 0), 4),
    ToSlider(Call(Param::kHysteresis, 1), 5),
    ToSlider(Call(Param::kHysteresis, 2), 6),
    ToSlider(Call(Param::kHysteresis, 3), 7),
    ToSlider(Call(Param::kAGC_AEC_Target), kSliderTarget),
    ToList(Call(Param::kControlSpeed), kListSpeed),
    ToList(Call(Param::kControlMonitor, 0), kListArea1),
    ToList(Call(Param::kControlMonitor, 1), kListArea2),
    ToSlider(Call(Param::kLightLevel), kSliderLightLevel),
    ToSlider(Call(Param::kMinLightLevel), kSliderAlcLowerLimit),
    ToSlider(Call(Param::kALC_Param), kSliderAlcParameter),
    {Call(Param::kAWB), Target::kNone, -1},  // read, not shown
    ToSlider(Call(Param::kGainRB, 0), 8),
    ToSlider(Call(Param::kGainRB, 1), 9),
    ToSlider(Call(Param::kColorMatrix, 0), 10),
    ToSlider(Call(Param::kColorMatrix, 1), 11),
    ToSlider(Call(Param::kColorMatrix, 2), 12),
    ToSlider(Call(Param::kColorMatrix, 3), 13),
    ToSlider(Call(Param::kColorMatrix, 4), 14),
    ToSlider(Call(Param::kColorMatrix, 5), 15),
    ToSlider(Call(Param::kColorMatrix, 6), 16),
    ToSlider(Call(Param::kColorMatrix, 7), 17),
    ToSlider(Call(Param::kColorMatrix, 8), 18),
    ToSlider(Call(Param::kGainYC, 0), 19),
    ToSlider(Call(Param::kGainYC, 1), 20),
    ToSlider(Call(Param::kGainYC, 2), 21),
    ToSlider(Call(Param::kALC_Target), kSliderAlcTarget),
    ToList(Call(Param::kGamma), kListGamma),
    ToList(Call(Param::kImageFlip), kListImageFlip),
    ToList(Call(Param::kImageRotation), kListImageRotation),
    ToList(Call(Param::kDVI_ImageSize), kListDviImageSize),
    ToList(Call(Param::kDP_Corr), kListDefectCorr),
    ToList(Call(Param::kFPN_Corr), kListFpnCorr),
    ToList(Call(Param::kNoiseReduction), 11),
    ToList(Call(Param::kEdgeEnhancement), 12),
    ToList(Call(Param::kVFPN_Corr), kListVfpnCorr),
    ToList(Call(Param::kDVI_Resolution), 14),
    ToSlider(Call(Param::kCIS_ImageFineAdj), 22),
    ToList(Call(Param::kCIS_VoutCurrent), kListVoutCurrent),
    ToList(Call(Param::kCIS_ConnectionDet), 16),
    ToList(Call(Param::kCIS_OverCurrentDet), 17),
};

// The reads of each change-mask bit, ordered by bit; bits without an entry read nothing.
struct BitRead {
  int bit;
  ReadStep read;
};

constexpr BitRead kChangeReads[] = {
    {0, ToList(Call(Param::kControlMode, 0), kListGainControl)},
    {1, ToList(Call(Param::kControlMode, 1), kListLightControl)},
    {2, ToSlider(Call(Param::kBlackLevel), kSliderBlackLevel)},
    {3, ToSlider(Call(Param::kExposureTime), kSliderExposure)},
    {4, ToSlider(Call(Param::kRawGain), kSliderGain)},
    {5, ToSlider(Call(Param::kAGC_AEC_Target), kSliderTarget)},
    {6, ToSlider(Call(Param::kHysteresis, 0), 4)},
    {7, ToSlider(Call(Param::kHysteresis, 1), 5)},
    {8, ToSlider(Call(Param::kHysteresis, 2), 6)},
    {9, ToSlider(Call(Param::kHysteresis, 3), 7)},
    {10, ToList(Call(Param::kControlSpeed), kListSpeed)},
    {11, ToList(Call(Param::kControlMonitor, 0), kListArea1)},
    {12, ToList(Call(Param::kControlMonitor, 1), kListArea2)},
    {13, ToSlider(Call(Param::kMinLightLevel), kSliderAlcLowerLimit)},
    {14, ToSlider(Call(Param::kALC_Param), kSliderAlcParameter)},
    {15, ToSlider(Call(Param::kLightLevel), kSliderLightLevel)},
    {17, ToSlider(Call(Param::kGainRB, 0), 8)},
    {18, ToSlider(Call(Param::kGainRB, 1), 9)},
    {19, ToSlider(Call(Param::kColorMatrix, 0), 10)},
    {20, ToSlider(Call(Param::kColorMatrix, 1), 11)},
    {21, ToSlider(Call(Param::kColorMatrix, 2), 12)},
    {22, ToSlider(Call(Param::kColorMatrix, 3), 13)},
    {23, ToSlider(Call(Param::kColorMatrix, 4), 14)},
    {24, ToSlider(Call(Param::kColorMatrix, 5), 15)},
    {25, ToSlider(Call(Param::kColorMatrix, 6), 16)},
    {26, ToSlider(Call(Param::kColorMatrix, 7), 17)},
    {27, ToSlider(Call(Param::kColorMatrix, 8), 18)},
    {28, ToSlider(Call(Param::kGainYC, 0), 19)},
    {29, ToSlider(Call(Param::kGainYC, 1), 20)},
    {30, ToSlider(Call(Param::kGainYC, 2), 21)},
    {31, ToSlider(Call(Param::kALC_Target), kSliderAlcTarget)},
    {32, ToList(Call(Param::kGamma), kListGamma)},
    {32, ToList(Call(Param::kImageFlip), kListImageFlip)},
    {32, ToList(Call(Param::kImageRotation), kListImageRotation)},
    {32, ToList(Call(Param::kDVI_ImageSize), kListDviImageSize)},
    {33, ToList(Call(Param::kNoiseReduction), 11)},
    {33, ToList(Call(Param::kEdgeEnhancement), 12)},
    {33, ToList(Call(Param::kVFPN_Corr), kListVfpnCorr)},
    {33, ToList(Call(Param::kDVI_Resolution), 14)},
    {34, ToSlider(Call(Param::kCIS_ImageFineAdj), 22)},
    {35, ToList(Call(Param::kDP_Corr), kListDefectCorr)},
    {35, ToList(Call(Param::kFPN_Corr), kListFpnCorr)},
};

constexpr bool OrderedByBit() {
  for (size_t n = 1; n < std::size(kChangeReads); ++n) {
    if (kChangeReads[n].bit < kChangeReads[n - 1].bit) return false;
  }
  return true;
}
static_assert(OrderedByBit());

// Reads of every bit as one array, so a bit's reads are a span of it.
constexpr auto kChangeSteps = [] {
  std::array<ReadStep, std::size(kChangeReads)> steps{};
  for (size_t n = 0; n < steps.size(); ++n) steps[n] = kChangeReads[n].read;
  return steps;
}();

}  // namespace

std::span<const ReadStep> FullRefreshReads() {
  return kFullRefresh;
}

std::span<const ReadStep> ChangeReads(int bit) {
  const auto first = std::find_if(std::begin(kChangeReads), std::end(kChangeReads),
                                  [bit](const BitRead& r) { return r.bit == bit; });
  const auto last =
      std::find_if(first, std::end(kChangeReads), [bit](const BitRead& r) { return r.bit != bit; });
  return std::span<const ReadStep>(kChangeSteps)
      .subspan(static_cast<size_t>(first - std::begin(kChangeReads)),
               static_cast<size_t>(last - first));
}

bool AnyChange(std::span<const uint8_t, 6> mask) {
  return std::any_of(mask.begin(), mask.end(), [](uint8_t b) { return b != 0; });
}

std::vector<ReadStep> ChangeRefreshPlan(std::span<const uint8_t, 6> mask) {
  std::vector<ReadStep> plan;
  for (int bit = 0; bit < 48; ++bit) {
    if ((mask[bit / 8] >> (bit % 8) & 1) == 0) continue;
    const std::span<const ReadStep> reads = ChangeReads(bit);
    plan.insert(plan.end(), reads.begin(), reads.end());
  }
  return plan;
}

const std::array<SliderMirror, 8> kSliderMirrors = {{
    {kSliderBlackLevel, 0, false},
    {kSliderExposure, 1, false},
    {kSliderGain, 2, false},
    {kSliderTarget, 3, false},
    {kSliderLightLevel, 7, false},
    {kSliderAlcTarget, 8, false},
    {kSliderCisUpperLimit, 4, true},
    {kSliderCisUsageCount, 5, true},
}};

// The Calibration FPN list shows device values above 0 as "On", as the Picture list does.
const std::array<ListMirror, 3> kListMirrors = {{
    {kListGamma, 0, true, false},
    {kListDefectCorr, 1, true, false},
    {kListFpnCorr, 3, false, true},
}};

const SliderMirror* MirrorOfSlider(int i) {
  for (const SliderMirror& m : kSliderMirrors) {
    if (m.picture == i) return &m;
  }
  return nullptr;
}

const ListMirror* MirrorOfList(int j) {
  for (const ListMirror& m : kListMirrors) {
    if (m.picture == j) return &m;
  }
  return nullptr;
}

std::vector<DefaultStep> ApplicationDefaults(int cisType) {
  std::vector<DefaultStep> steps;
  for (int i = kSliderCount - 1; i >= 0; --i) {
    const SliderRow& row = kSliders[i];
    steps.push_back({Target::kSlider, i, row.defaultValue, row.device, row.defaultValue});
  }
  for (int j = 0; j < kListCount; ++j) {
    const ListRow& row = kLists[j];
    const int position = ListFromDevice(j, row.defaultValue, cisType);
    steps.push_back(
        {Target::kList, j, row.defaultValue, row.device, ListToDevice(j, position, cisType)});
  }
  return steps;
}

const std::array<Forward, 7> kForwardingButtons = {{
    {3001, 40016},  // "Default": Load Default Parameter
    {3002, 40014},  // "Data Write": Save Parameter
    {3003, 40013},  // "Data Read": Load Parameter
    {3004, 40008},  // "Video Capture"
    {3005, 40009},  // "Still Capture"
    {9601, 40006},  // "Pause / Play"
    {9602, 40007},  // "Play Stop"
}};

PageState::PageState() {
  for (int i = 0; i < kSliderCount; ++i) sliders[i] = kSliders[i].defaultValue;
}

bool PageState::SelectListFromDevice(int j, int d) {
  const int position = ListFromDevice(j, d, cisType);
  const bool changed = position != listPositions[j];
  listPositions[j] = position;
  return changed || forcedListRefresh;
}

ModePositions PageState::Modes() const {
  return {cisType, listPositions[kListGainControl], listPositions[kListLightControl],
          listPositions[kListImageFlip], listPositions[kListImageRotation]};
}

}  // namespace picture
