// The refreshes that bring the unit's parameters and the head's records onto the pages.
#include "viewer/picture/PageRefresh.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "QEL_API.h"
#include "viewer/picture/core/Controls.h"

namespace picture {
namespace {

using Op = PageUpdate::Op;

// Index of a text among the ten.
enum CameraInfoText : int {
  kTextCisEeprom = 0,
  kTextSerial = 1,
  kTextUsageCount = 2,
  kTextUpperLimit = 3,
  kTextDefectData = 4,
  kTextFpnData = 5,
  kTextRedGain = 6,
  kTextBlueGain = 7,
  kTextIfa = 8,
  kTextCisType = 9,
};

constexpr int kStateFormatted = 2;

void AppendRead(const ReadStep& step, PageUpdates& updates) {
  int value = 0;
  // A failed read leaves its control as it is.
  if (GetDevice(step.get, &value) != 0) return;
  switch (step.target) {
    case Target::kSlider:
      updates.push_back({Op::kSlider, step.index, value, {}});
      break;
    case Target::kList:
      updates.push_back({Op::kList, step.index, value, {}});
      break;
    case Target::kNone:
      break;
  }
}

// A defect table read from the head counts as data unless it starts as an initialised, empty
// table does (a non-zero byte, then 0xFF).
bool DefectTableHasData(unsigned table) {
  uint8_t bytes[128] = {};
  if (QEL_Load_CIS_DP_Table(table, bytes) != 0) return false;
  return !(bytes[0] != 0 && bytes[1] == 0xFF);
}

}  // namespace

void Apply(const PageUpdates& updates, PageView& view) {
  for (const PageUpdate& u : updates) {
    switch (u.op) {
      case Op::kSlider:
        view.SetSlider(u.index, u.value);
        break;
      case Op::kList:
        view.SelectListFromDevice(u.index, u.value);
        break;
      case Op::kEnabling:
        view.EnablingUpdate();
        break;
      case Op::kCameraInfo:
        view.SetCameraInfo(u.index, u.text);
        break;
      case Op::kCameraInfoRows:
        view.SetCameraInfoRowsEnabled(u.value != 0);
        break;
      case Op::kTitle:
        view.SetWindowTitle(u.text);
        break;
      case Op::kSerialControls:
        view.SetSerialControlsEnabled(u.value != 0);
        break;
      case Op::kCisEepromControls:
        view.SetCisEepromControlsEnabled(u.value != 0);
        break;
      case Op::kForcedListRefresh:
        view.SetForcedListRefresh(u.value != 0);
        break;
    }
  }
}

// The head's records as the Camera Info box shows them; a failed read leaves 0 or "".
struct PageRefresh::HeadRecords {
  std::string serial;
  int usageCount = 0;
  int upperLimit = 0;
  bool defectData = false;
  int gain[2] = {0, 0};
  int ifa = 0;
};

PageRefresh::PageRefresh(ViewSource view, Deliver deliver, const std::atomic<int>& cisType)
    : view_(std::move(view)), deliver_(std::move(deliver)), cisType_(cisType) {}

void PageRefresh::ResetCameraInfoCache() {
  CameraInfoCleared();
  rowsEnabled_.reset();
  lastCisEepromState_ = 0;
  serialControlsEnabled_ = true;
  cisEepromControlsEnabled_ = true;
}

void PageRefresh::CameraInfoCleared() {
  for (std::string& text : shownTexts_) text.clear();
  shownTitle_.clear();
}

PageRefresh::HeadRecords PageRefresh::ReadHeadRecords() {
  HeadRecords r;
  // The record is 14 bytes and not terminated when it fills them; the zeroed rest ends it.
  char serial[64] = {};
  if (QEL_Load_CIS_SerialNo(serial) == 0) r.serial.assign(serial, strnlen(serial, 14));
  QEL_Load_CIS_UseCount(&r.usageCount);
  QEL_Load_CIS_UseCountLimit(&r.upperLimit);
  // Both tables are read whatever the first holds.
  const bool table0 = DefectTableHasData(0);
  const bool table1 = DefectTableHasData(1);
  r.defectData = table0 || table1;
  QEL_Load_CIS_GainRB(0, &r.gain[0]);
  QEL_Load_CIS_GainRB(1, &r.gain[1]);
  QEL_Load_CIS_ImageFineAdj(&r.ifa);
  return r;
}

void PageRefresh::CameraInfoRefresh() {
  int state = 0;
  if (QEL_Check_CIS_EEPROM(&state) != 0) state = 0;

  PageUpdates updates;
  const bool rowsEnabled = state != 0;
  if (rowsEnabled_ != rowsEnabled) {
    updates.push_back({Op::kCameraInfoRows, 0, rowsEnabled, {}});
    rowsEnabled_ = rowsEnabled;
  }

  std::array<std::string, kCameraInfoTextIds.size()> texts;
  texts[kTextCisEeprom] = state != 0 ? "Yes" : "No";
  HeadRecords records;
  bool fullRefresh = false;
  if (state == kStateFormatted) {
    records = ReadHeadRecords();
    texts[kTextSerial] = records.serial;
    texts[kTextUsageCount] = std::to_string(records.usageCount);
    texts[kTextUpperLimit] = std::to_string(records.upperLimit);
    texts[kTextDefectData] = records.defectData ? "Yes" : "No";
    texts[kTextFpnData] = "Yes";
    texts[kTextRedGain] = FormatValue(ValueText::kDecibel, records.gain[0]);
    texts[kTextBlueGain] = FormatValue(ValueText::kDecibel, records.gain[1]);
    texts[kTextIfa] = std::to_string(records.ifa);
    // A head that has just become initialised brings its parameters along.
    if (state != lastCisEepromState_) {
      AppendFullRefresh(updates);
      fullRefresh = true;
    }
  }

  texts[kTextCisType] = HeadTypeText(cisType_.load());
  // The title and every text go out only when they differ from what the pages show, so an idle
  // cycle hands nothing to the GUI thread; an emptied box is reported by CameraInfoCleared.
  std::string title = "QEL_Viewer [" + texts[kTextCisType] + "]";
  if (title != shownTitle_) {
    updates.push_back({Op::kTitle, 0, 0, title});
    shownTitle_ = std::move(title);
  }

  for (size_t k = 0; k < texts.size(); ++k) {
    if (texts[k] == shownTexts_[k]) continue;
    updates.push_back({Op::kCameraInfo, kCameraInfoTextIds[k], 0, texts[k]});
    shownTexts_[k] = texts[k];
    // The head's count and limit move their sliders only when their text changed, so a value
    // the operator set by hand stays until the head reports another.
    if (state != kStateFormatted) continue;
    if (k == kTextUsageCount) {
      updates.push_back({Op::kSlider, kSliderCisUsageCount, records.usageCount, {}});
    } else if (k == kTextUpperLimit) {
      updates.push_back({Op::kSlider, kSliderCisUpperLimit, records.upperLimit, {}});
    }
  }

  const bool serialEnabled = SerialControlsEnabled(state);
  if (serialEnabled != serialControlsEnabled_) {
    serialControlsEnabled_ = serialEnabled;
    updates.push_back({Op::kSerialControls, 0, serialEnabled, {}});
  }
  const bool cisEepromEnabled = CisEepromControlsEnabled(state);
  if (cisEepromEnabled != cisEepromControlsEnabled_) {
    cisEepromControlsEnabled_ = cisEepromEnabled;
    updates.push_back({Op::kCisEepromControls, 0, cisEepromEnabled, {}});
  }
  lastCisEepromState_ = state;

  Show(std::move(updates), fullRefresh);
}

void PageRefresh::ChangeRefresh() {
  uint8_t mask[6] = {};
  if (QEL_GetFpgaStatus(sizeof mask, mask) != 0) return;
  PageUpdates updates;
  for (const ReadStep& step : ChangeRefreshPlan(mask)) AppendRead(step, updates);
  if (AnyChange(mask)) updates.push_back({Op::kEnabling, 0, 0, {}});
  Show(std::move(updates), false);
}

void PageRefresh::FullRefresh() {
  PageUpdates updates;
  AppendFullRefresh(updates);
  Show(std::move(updates), true);
}

void PageRefresh::FullRefreshForNewHeadType() {
  PageUpdates updates{{Op::kForcedListRefresh, 0, true, {}}};
  AppendFullRefresh(updates);
  updates.push_back({Op::kForcedListRefresh, 0, false, {}});
  Show(std::move(updates), true);
}

void PageRefresh::AppendFullRefresh(PageUpdates& updates) const {
  const std::span<const ReadStep> reads = FullRefreshReads();
  updates.reserve(updates.size() + reads.size() + 1);
  for (const ReadStep& step : reads) AppendRead(step, updates);
  updates.push_back({Op::kEnabling, 0, 0, {}});
}

void PageRefresh::Show(PageUpdates updates, bool fullRefresh) {
  if (updates.empty()) return;
  deliver_([this, updates = std::move(updates), fullRefresh] {
    PageView* view = view_();
    if (view == nullptr) return;
    Apply(updates, *view);
    if (fullRefresh) fullRefreshShown_ = true;
  });
}

}  // namespace picture
