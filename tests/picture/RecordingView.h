// A page view for tests: records every page operation as a short text, in order.
#pragma once

#include <string>
#include <vector>

#include "viewer/picture/core/PageView.h"

namespace testing_support {

class RecordingView : public picture::PageView {
 public:
  // "slider 3 = 50", "list 0 = 3", "enabling", "info 9101 Yes", "rows on", "title ...",
  // "serial off", "cis-eeprom on", "application defaults", "calibration defaults all".
  std::vector<std::string> calls;

  void SetSlider(int i, int v) override { Add("slider " + Num(i) + " = " + Num(v)); }
  void SelectListFromDevice(int j, int d) override { Add("list " + Num(j) + " = " + Num(d)); }
  void SetForcedListRefresh(bool on) override { Add("forced " + OnOff(on)); }
  void EnablingUpdate() override { Add("enabling"); }
  void SetCameraInfo(int valueId, const std::string& text) override {
    Add("info " + Num(valueId) + " " + text);
  }
  void SetCameraInfoRowsEnabled(bool enabled) override { Add("rows " + OnOff(enabled)); }
  void SetWindowTitle(const std::string& title) override { Add("title " + title); }
  void SetSerialControlsEnabled(bool enabled) override { Add("serial " + OnOff(enabled)); }
  void SetCisEepromControlsEnabled(bool enabled) override { Add("cis-eeprom " + OnOff(enabled)); }
  void ApplyApplicationDefaults() override { Add("application defaults"); }
  void ResetCalibrationDefaults(bool all) override {
    Add(all ? "calibration defaults all" : "calibration defaults tools");
  }

  void Add(std::string call) { calls.push_back(std::move(call)); }
  int Count(const std::string& call) const {
    int n = 0;
    for (const std::string& c : calls) n += c == call ? 1 : 0;
    return n;
  }

 private:
  static std::string Num(int v) { return std::to_string(v); }
  static std::string OnOff(bool on) { return on ? "on" : "off"; }
};

}  // namespace testing_support
