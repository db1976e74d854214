// The view state shared by the GUI, monitor and display threads.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "viewer/base/Ids.h"

namespace base {

// Thread states: started with the run flag set and the state 0, running 1, ended 2.
constexpr int kThreadStarting = 0;
constexpr int kThreadRunning = 1;
constexpr int kThreadEnded = 2;

struct ViewState {
  // Short, non-recursive lock: the head-type switch, the frame conversion and the zoom list
  // set-up. No other lock is taken while it is held, and nothing waits while holding it.
  std::mutex viewGuard;

  // cisType and zoomIndex change only under viewGuard; the display thread reads both under it,
  // so a frame is converted entirely with the old or entirely with the new geometry.
  std::atomic<int> cisType{0};    // 0 40K, 1 160K
  std::atomic<int> zoomIndex{0};  // 0 100 %, 1 200 %, 2 400 %
  std::atomic<int> lastCisType{0};
  std::atomic<int> typeSwitching{0};
  std::array<std::atomic<int>, 2> savedZoom{};  // zoom last used with each head type

  std::atomic<bool> showBoundaryPixels{false};
  std::atomic<int> displayTarget{kNoPage};  // page whose image area and status text are drawn
  std::atomic<bool> rawView{false};         // the unit sends raw data: render monochrome
  std::atomic<int> limitReached{0};         // the head's usage count reached its upper limit
  // The Calibration page's defect overlay settings, read by the display thread.
  std::atomic<int> excludedArea{0};            // corner triangles left out of detection, pixels
  std::atomic<bool> showDefectOverlay{false};  // "Display": table and corners over the raw view

  std::atomic<bool> mainReady{false};
  std::atomic<bool> pictureReady{false};
  std::atomic<bool> calibrationReady{false};

  // Fixed for the life of the process once read from the ini file.
  int windowMode = 0;
  int expertMode = 0;
  std::array<uint16_t, 4> appVersion{};  // major, minor, build, revision
};

// Slot of savedZoom for a head type.
inline int ZoomSlot(int cisType) {
  return cisType == 0 ? 0 : 1;
}

// Number of zoom choices a head type offers: 100/200/400 % for 40K, 100/200 % for 160K.
inline int ZoomChoices(int cisType) {
  return cisType == 0 ? 3 : 2;
}

// Start-of-process values of everything above except the ini switches and the version.
void ResetViewState(ViewState& state);

}  // namespace base
