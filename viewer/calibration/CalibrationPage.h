// The Calibration page: the live raw view with its zoom list and Camera Info box; the
// calibration tools join it in its group area.
#pragma once

#include "viewer/shell/LivePage.h"

namespace calibration {

class CalibrationPage : public shell::LivePage {
 public:
  // Sets calibrationReady.
  explicit CalibrationPage(QWidget* parent);

  // Raw (monochrome) view on this page.
  void Activate() override;
  void FollowHeadType() override { RefreshForHeadType(); }

  // Lists that depend on the head type (cisType) are refilled and their first entry selected.
  void RefreshForHeadType();
};

}  // namespace calibration
