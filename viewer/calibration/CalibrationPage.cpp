// The Calibration page's live view part.
#include "viewer/calibration/CalibrationPage.h"

#include "viewer/shell/ViewState.h"

namespace calibration {

CalibrationPage::CalibrationPage(QWidget* parent)
    : shell::LivePage(shell::kCalibrationPage, parent) {
  shell::View().calibrationReady = true;
}

void CalibrationPage::Activate() {
  shell::ViewState& view = shell::View();
  view.displayTarget = shell::kCalibrationPage;
  view.rawView = true;
}

void CalibrationPage::RefreshForHeadType() {
  FillZoomList(shell::View().cisType.load());
}

}  // namespace calibration
