// The Calibration page: the live raw view, the exposure controls it shares with the Picture page
// and the calibration tools' controls, bound to its controls model.
#pragma once

#include <array>

#include "viewer/calibration/core/CalibrationControls.h"
#include "viewer/calibration/core/CalibrationTools.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"

class QGroupBox;
class QLabel;
class QLineEdit;

namespace calibration {

class CalibrationPage : public picture::LivePage {
 public:
  // Sets calibrationReady.
  CalibrationPage(picture::PageContext& context, QWidget* parent);
  ~CalibrationPage() override;

  // Raw (monochrome) view on this page: the unit sends raw sensor data.
  void Activate() override;
  void FollowHeadType() override { RefreshForHeadType(); }

  // Texts, lists and ranges of the attached head type; group 0 is shown.
  void RefreshForHeadType();
  // Compact layout: selector item g's group alone.
  void ShowGroup(int g) override;
  std::vector<QWidget*> SelectorGroups() const override;
  int ShownGroup() const override { return selectedGroup_; }

  // The head EEPROM save rows, and the FPN "Save" button by the FPN mode as well.
  void SetCisEepromControlsEnabled(bool enabled);
  // The page's defaults (all: also the tools' settings), shown and sent to the unit.
  void ResetCalibrationDefaults(bool all);

  // "num of frames": 1..100.
  int FrameCount() const { return frames_; }
  int Trackbar(int k) const { return trackbars_[k]; }
  int ComboPosition(int k) const { return combos_[k]; }

  // Tools binding. A CSV run started or ended: "Save as CSV", the frame field and its arrows
  // are off while it runs; so is the menu item, which is on otherwise only while this page is
  // shown.
  void SetCsvRunning(bool running);
  // The CSV run's progress label.
  void ShowCsvProgress(const QString& text);

 private:
  // Tools binding: the gamma and defect pixel buttons.
  void BindTools();
  void ShowDefectOutcome(const DefectTool::Outcome& outcome);
  DefectScan CurrentScan() const;

  void BuildGroups();
  void BuildBottomRow();
  void SetTypeTexts(int cisType);
  void SetTrackbar(int k, int v);
  void SelectCombo(int k, int position);
  void ApplyTrackbar(int k, int v);
  void ApplyCombo(int k, int position);
  void SetFrameCount(int frames);
  // What the parameter model tells this page to show.
  void Show(const picture::ParameterNotice& notice);

  picture::PageContext& context_;
  bool wideLayout_ = false;
  int selectedGroup_ = 0;
  int frames_ = kMinFrames;
  int subscription_ = -1;
  std::array<int, kTrackbarCount> trackbars_{};
  std::array<int, kComboCount> combos_{};
  std::array<QGroupBox*, kGroupCount> groups_{};
  QLineEdit* framesEdit_ = nullptr;
};

}  // namespace calibration
