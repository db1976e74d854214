// The Picture page: the live colour view and a control for every camera parameter, bound to the
// controls model; it carries out the page operations the refreshes and commands drive.
#pragma once

#include <array>

#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"
#include "viewer/picture/core/Controls.h"
#include "viewer/picture/core/PageView.h"

class QGroupBox;
class QLabel;

namespace picture {

class PicturePage : public picture::LivePage, public PageView {
 public:
  // Becomes displayTarget, starts the display thread and sets pictureReady.
  PicturePage(PageContext& context, QWidget* parent);
  ~PicturePage() override;

  // Colour view on this page: the unit sends processed frames again.
  void Activate() override;
  // The live image area gives way to playback and returns after it.
  void HideLive() override;
  void ShowLive() override;
  void FollowHeadType() override { SwitchToCisType(); }

  // Texts, lists and rows of the attached head type (cisType); group 0 is shown.
  void SwitchToCisType();
  // Compact layout: group g alone; the wide layout shows every group.
  void ShowGroup(int g) override;
  std::vector<QWidget*> SelectorGroups() const override;
  int ShownGroup() const override { return state_.currentGroup; }

  const PageState& State() const { return state_; }

  // PageView, GUI thread.
  void SetSlider(int i, int v) override;
  void SelectListFromDevice(int j, int d) override;
  void SetForcedListRefresh(bool on) override { state_.forcedListRefresh = on; }
  void EnablingUpdate() override;
  void SetCameraInfo(int valueId, const std::string& text) override;
  void SetCameraInfoRowsEnabled(bool enabled) override;
  void SetWindowTitle(const std::string& title) override;
  void SetSerialControlsEnabled(bool enabled) override;
  void SetCisEepromControlsEnabled(bool enabled) override;
  void ApplyApplicationDefaults() override;
  void ResetCalibrationDefaults(bool all) override;

 private:
  void BuildGroups();
  void BuildBottomRow();
  // The buttons that run a command on the unit or the head EEPROM.
  void BindCommands();
  // Texts, lists and rows of a head type; group 0 is shown.
  void ShowCisType(int cisType);
  void SetTypeTexts(int cisType);
  void FillList(int j, int cisType);
  // Stores v, moves the slider without notifying and writes the value text.
  void ShowSlider(int i, int v);
  // What the parameter model tells this page to show.
  void Show(const ParameterNotice& notice);
  void SelectListPosition(int j, int position);
  void ApplySlider(int i, int v);
  void ApplyList(int j, int position);
  picture::LivePage* Calibration() const;

  PageContext& context_;
  PageState state_;
  int subscription_ = -1;
  bool wideLayout_ = false;
  bool expertMode_ = false;
  std::array<QGroupBox*, kGroupCount> groups_{};
};

}  // namespace picture
