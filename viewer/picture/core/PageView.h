// What the refreshes from the unit and the parameter commands do to the pages, as operations on
// the Picture page's controls model. The Qt pages implement it on the GUI thread; tests record it.
#pragma once

#include <string>

namespace picture {

class PageView {
 public:
  virtual ~PageView() = default;

  // Stores v as slider i's value, moves the slider without notifying and writes its value text;
  // a slider with a Calibration twin moves the twin too.
  virtual void SetSlider(int i, int v) = 0;
  // Device value d through list j's From device rule; the list is selected when its position
  // changed or the forced list refresh is set; a list with a Calibration twin selects the twin.
  virtual void SelectListFromDevice(int j, int d) = 0;
  // Set by the monitor around a head-type change.
  virtual void SetForcedListRefresh(bool on) = 0;
  // Greys out the rows the control modes make meaningless, on both pages.
  virtual void EnablingUpdate() = 0;

  // Camera Info value valueId (9101..9112) on both pages.
  virtual void SetCameraInfo(int valueId, const std::string& text) = 0;
  // The head record rows of Camera Info ("    CIS S/N : " to "    IFA : ") on both pages.
  virtual void SetCameraInfoRowsEnabled(bool enabled) = 0;
  virtual void SetWindowTitle(const std::string& title) = 0;
  // "Serial No.", its field and the "Write", "Read", "Write && Init" buttons.
  virtual void SetSerialControlsEnabled(bool enabled) = 0;
  // The head EEPROM save rows of both pages.
  virtual void SetCisEepromControlsEnabled(bool enabled) = 0;

  // Shows the application defaults on every control and sends them to the unit.
  virtual void ApplyApplicationDefaults() = 0;
  // The Calibration page's own defaults (all: also its gamma and defect settings).
  virtual void ResetCalibrationDefaults(bool all) = 0;
};

}  // namespace picture
