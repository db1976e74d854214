// The Picture page's controls as data: slider and list tables, value texts, list/device value
// rules, head-type texts, groups and their rows, enabling rules, refresh plans and the mirror to
// the Calibration page. No widgets: the page binds these to its controls by id.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "viewer/picture/core/DeviceFunctions.h"

namespace picture {

constexpr int kSliderCount = 29;
constexpr int kListCount = 18;
constexpr int kGroupCount = 5;

constexpr int SliderId(int i) {
  return 7001 + i;
}
constexpr int SliderLabelId(int i) {
  return 6001 + i;
}
constexpr int SliderValueId(int i) {
  return 8001 + i;
}
constexpr int ListId(int j) {
  return 5002 + j;
}
constexpr int ListLabelId(int j) {
  return 4002 + j;
}

constexpr int kIdExpertSeparator = 9305;  // above the ALC Lower Limit row, ExpertMode only

// Row numbers the rules name.
enum SliderRowIndex : int {
  kSliderBlackLevel = 0,
  kSliderExposure = 1,
  kSliderGain = 2,
  kSliderTarget = 3,
  kSliderHysteresisA1 = 4,
  kSliderColorMatrixRr = 10,
  kSliderLightLevel = 23,
  kSliderAlcLowerLimit = 24,
  kSliderAlcParameter = 25,
  kSliderCisUpperLimit = 26,
  kSliderCisUsageCount = 27,
  kSliderAlcTarget = 28,
};
enum ListRowIndex : int {
  kListGainControl = 0,
  kListLightControl = 1,
  kListSpeed = 2,
  kListArea1 = 3,
  kListArea2 = 4,
  kListGamma = 5,
  kListImageFlip = 6,
  kListImageRotation = 7,
  kListDviImageSize = 8,
  kListDefectCorr = 9,
  kListFpnCorr = 10,
  kListVfpnCorr = 13,
  kListVoutCurrent = 15,
};

// A text that follows the head type (cisType 0 = 40K, any other value 160K, as the library's
// register bank).
struct TypedText {
  const char* k40K;
  const char* k160K;
  constexpr const char* For(int cisType) const { return cisType == 0 ? k40K : k160K; }
};

using Texts = std::span<const char* const>;

// Value text formulas of the sliders (printf of v or of a double product of v).
enum class ValueText : uint8_t {
  kUnsigned,  // "%u" of v
  kExposure,  // "%.1fms" of v x 0.072
  kGain,      // "x%.3f" of v x 0.0625
  kTarget,    // "%d" of v shifted right by 2
  kDecibel,   // "%.3fdB" of v x 0.0352
  kMatrix,    // "%.2f" of v x 0.0078125
  kAlcParam,  // "%.4f" of v x 0.0625
  kPixels,    // "%d pix" of v
};
std::string FormatValue(ValueText text, int v);

// Slider values are device values: the position is the value sent and the value shown.
struct SliderRow {
  TypedText label;
  Range range;
  int defaultValue;
  ValueText text;
  DeviceFunction device;  // kNone: not sent when moved
};
extern const std::array<SliderRow, kSliderCount> kSliders;

// Step of a click beside the thumb: a tenth of the range, truncated.
constexpr int PageStep(Range range) {
  return (range.max - range.min) / 10;
}
std::string SliderValueText(int i, int v);

// How a list position becomes a device value and back.
enum class ListRule : uint8_t {
  kSame,          // position = device value
  kGainControl,   // 40K: 0->0, 1->3; 160K: 0->0, 1->1, 2->3
  kDviImageSize,  // 40K same; 160K position + 1 (device counts sizes from 200x200)
  kFpn,           // "On" is device value 2
  kFromOne,       // position + 1
};

struct ListRow {
  TypedText label;
  Texts texts40K;
  Texts texts160K;  // same span as texts40K where the list does not follow the head type
  ListRule rule;
  int defaultValue;  // a device value
  DeviceFunction device;
};
extern const std::array<ListRow, kListCount> kLists;

// Rows outside the table have no texts and pass values through.
Texts ListTexts(int j, int cisType);
int ListToDevice(int j, int position, int cisType);
// The position to show for a device value; it can lie outside the list for values the unit
// should not hold (the list then shows no entry).
int ListFromDevice(int j, int device, int cisType);

// Every device value a control sending to `function` can produce with the attached head type:
// a slider's range, a list's To device values, or nothing when no Picture control sends it.
struct DeviceValues {
  Range range;              // smallest and largest
  std::vector<int> values;  // the allowed values in order; empty when the whole range is
  bool Contains(int v) const;
};
std::optional<DeviceValues> ControlValues(DeviceFunction function, int cisType);
// What `function` may be given with the attached head: its Picture control's values, or the
// register field's range for a parameter no control sends.
DeviceValues AllowedValues(DeviceFunction function, int cisType);

// "40K" or "160K", the name of a head type in texts and file names (0 is 40K, any other value
// 160K, as the library's register bank).
constexpr const char* HeadTypeText(int cisType) {
  return cisType == 0 ? "40K" : "160K";
}

// Zoom list 5001; the same texts serve the Calibration page's zoom list.
Texts ZoomTexts(int cisType);

// Head-type dependent texts of the page: group box 9501 and the labels that differ, id and text.
struct IdText {
  int id;
  const char* text;
};
std::vector<IdText> CisTypeTexts(int cisType);

// Rows hidden with a 40K head (exposure, VFPN) or outside ExpertMode (ALC lower limit and
// parameter, with separator 9305).
bool SliderShown(int i, int cisType, bool expertMode);
bool ListShown(int j, int cisType);

// Groups of the page: position g of the group selector shows group g.
enum class ItemKind : uint8_t { kSlider, kList, kStatic, kButton, kEdit, kSeparator };
struct GroupItem {
  ItemKind kind;
  int id;            // control id; for sliders and lists the row's slider/list id
  int index;         // slider or list row, -1 for the other kinds
  int x;             // offset from the group's x; 0 for sliders and lists (their standard columns)
  int y;             // distance below the top of the group box
  const char* text;  // text of statics and buttons, null otherwise
};
struct Group {
  int id;
  TypedText title;  // also the group selector's text
  int wideX;
  int wideY;
  std::span<const GroupItem> items;
};
extern const std::array<Group, kGroupCount> kGroups;

struct Point {
  int x;
  int y;
  friend constexpr bool operator==(const Point&, const Point&) = default;
};
// Wide layout: every group at its own place. Compact: the current group at (830, 290) and the
// others 3840 pixels to the right, off the page (as is any g outside the groups).
Point GroupPosition(int g, int currentGroup, bool wideLayout);

// Enabling update inputs: head type and the positions of the gain/exposure (G) and light (L)
// control lists, image flip (F) and image rotation (R).
struct ModePositions {
  int cisType = 0;
  int gainControl = 0;
  int lightControl = 0;
  int imageFlip = 0;
  int imageRotation = 0;
};
// Rows the update governs; an empty entry is left as it is.
struct Enabling {
  std::array<std::optional<bool>, kSliderCount> sliders{};
  std::array<std::optional<bool>, kListCount> lists{};
};
Enabling ComputeEnabling(const ModePositions& modes);

// Controls switched with the CIS EEPROM state (0 none, 1 blank, 2 initialised).
extern const std::array<int, 5> kSerialControlIds;
extern const std::array<int, 12> kCisEepromControlIds;
constexpr bool SerialControlsEnabled(int cisEepromState) {
  return cisEepromState >= 1;
}
constexpr bool CisEepromControlsEnabled(int cisEepromState) {
  return cisEepromState == 2;
}

// One read of a refresh and the control it feeds.
enum class Target : uint8_t { kNone, kSlider, kList };
struct ReadStep {
  DeviceFunction get;
  Target target;
  int index;
};
// Full refresh reads in order; the enabling update follows them.
std::span<const ReadStep> FullRefreshReads();
// Change refresh: the reads of change-mask bit n (0..47); empty for unused bits.
std::span<const ReadStep> ChangeReads(int bit);
// The reads of a six-byte change mask, bits visited from 0 to 47.
std::vector<ReadStep> ChangeRefreshPlan(std::span<const uint8_t, 6> mask);
bool AnyChange(std::span<const uint8_t, 6> mask);

// Values the Picture page shows a second time on the Calibration page.
struct SliderMirror {
  int picture;          // slider i
  int calibration;      // trackbar k
  bool cameraInfoOnly;  // follows only the Camera Info refresh, and only towards Calibration
};
extern const std::array<SliderMirror, 8> kSliderMirrors;
struct ListMirror {
  int picture;      // list j
  int calibration;  // combo 5002 + k, shown at the Picture list's position
  bool onChoice;    // also follows an operator choice, both ways
  bool onOff;       // the combo has "Off" and one "On" for every position above 0
};
extern const std::array<ListMirror, 3> kListMirrors;
const SliderMirror* MirrorOfSlider(int i);
const ListMirror* MirrorOfList(int j);

// Application defaults in the order they are shown and sent: sliders 28 down to 0, then lists 0
// to 17. A list shows its default device value by the From device rule and sends its position's
// To device value.
struct DefaultStep {
  Target target;
  int index;
  int value;  // the slider value, or the list's default device value
  DeviceFunction set;
  int sent;
};
std::vector<DefaultStep> ApplicationDefaults(int cisType);

// Buttons that only send the main window a menu command.
struct Forward {
  int id;
  int command;
};
extern const std::array<Forward, 7> kForwardingButtons;

// Page state shared by the refreshes and the operator's handlers (GUI thread).
struct PageState {
  int cisType = 0;
  std::array<int, kSliderCount> sliders{};
  std::array<int, kListCount> listPositions{};
  bool forcedListRefresh = false;
  int currentGroup = 0;

  // Application defaults on the sliders; every list at position 0, as its control is before
  // the defaults are selected from device values.
  PageState();
  // Stores the position of device value d; true when list j must be selected (the position
  // changed or the forced list refresh is set).
  bool SelectListFromDevice(int j, int d);
  int ListDevice(int j) const { return ListToDevice(j, listPositions[j], cisType); }
  ModePositions Modes() const;
};

}  // namespace picture
