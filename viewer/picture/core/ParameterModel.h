// The one model of what both tab pages show of the camera parameters: the shown values of the
// mirrored sliders and lists, the enabling of their rows, the Camera Info texts and the head
// EEPROM save rows, and the mirror rules that carry a write made for one page to the other.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "viewer/picture/core/Controls.h"

namespace picture {

// The page a notice is for.
enum class Side : uint8_t { kPicture, kCalibration };

// Who wrote a Picture value: the unit's refresh shows every mirrored value on the Calibration
// page too; the page itself (the operator or its defaults) only those its mirror rule lets follow
// a choice.
enum class Origin : uint8_t { kUnit, kPage };

// What a page is told to show. Indices and values are the receiving page's own: a Picture slider
// or list row, a Calibration trackbar or combo, a Camera Info value id.
struct ParameterNotice {
  enum class Kind : uint8_t {
    kSlider,              // index, value
    kList,                // index, value: the list position
    kEnabling,            // Enabling() changed
    kCameraInfo,          // index: the value id; CameraInfo(index) is the text
    kCameraInfoRows,      // value: the head record rows are enabled
    kCisEepromControls,   // value: the head EEPROM save rows are enabled
    kCalibrationDefaults  // value: the Calibration page resets its defaults (1: all of them)
  };
  Kind kind;
  int index = -1;
  int value = 0;
};

// Written and read on the GUI thread only; observers are called there, in the order they
// subscribed, while the write runs. An observer shows what it is told and writes nothing back.
class ParameterModel {
 public:
  using Observer = std::function<void(const ParameterNotice&)>;

  ParameterModel();

  // Returns the token for Unsubscribe.
  int Subscribe(Side side, Observer observer);
  void Unsubscribe(int token);

  // Picture slider i (list j) now shows v (position).
  void WritePictureSlider(int i, int v, Origin origin);
  void WritePictureList(int j, int position, Origin origin);
  // The operator moved Calibration trackbar k or chose position p of combo k.
  void WriteCalibrationTrackbar(int k, int v);
  void WriteCalibrationCombo(int k, int position);
  // The Picture page's enabling update.
  void WriteEnabling(const Enabling& enabling);
  // Camera Info and the head EEPROM rows, shown on both pages.
  void WriteCameraInfo(int valueId, const std::string& text);
  void WriteCameraInfoRows(bool enabled);
  void WriteCisEepromControls(bool enabled);
  // Asks the Calibration page to reset its defaults (all: also its tools' settings).
  void ResetCalibrationDefaults(bool all);

  int Slider(int i) const { return sliders_[i]; }
  int ListPosition(int j) const { return lists_[j]; }
  const picture::Enabling& Enabling() const { return enabling_; }
  std::string CameraInfo(int valueId) const;
  bool CameraInfoRows() const { return cameraInfoRows_; }
  bool CisEepromControls() const { return cisEepromControls_; }

 private:
  void Notify(Side side, const ParameterNotice& notice) const;
  void NotifyBoth(const ParameterNotice& notice) const;

  struct Subscription {
    int token;
    Side side;
    Observer observer;
  };
  std::vector<Subscription> observers_;
  int nextToken_ = 0;
  std::array<int, kSliderCount> sliders_{};
  std::array<int, kListCount> lists_{};
  picture::Enabling enabling_{};
  std::map<int, std::string> cameraInfo_;
  bool cameraInfoRows_ = true;
  bool cisEepromControls_ = true;
};

}  // namespace picture
