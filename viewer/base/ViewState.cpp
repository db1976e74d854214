// Process-wide state shared by the viewer's threads.
#include "viewer/base/ViewState.h"

namespace base {

void ResetViewState(ViewState& v) {
  std::lock_guard<std::mutex> lock(v.viewGuard);
  v.cisType = 0;
  v.zoomIndex = 0;
  v.lastCisType = 0;
  v.typeSwitching = 0;
  for (auto& z : v.savedZoom) z = 0;
  v.showBoundaryPixels = false;
  v.displayTarget = kNoPage;
  v.rawView = false;
  v.limitReached = 0;
  v.excludedArea = 0;
  v.showDefectOverlay = false;
  v.mainReady = false;
  v.pictureReady = false;
  v.calibrationReady = false;
}

}  // namespace base
