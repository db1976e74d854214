// The live view: the display bitmap, the recorder's capture bitmap, the display thread that fills
// them, and the thread-safe ways to show a picture and a frame-rate text on a page.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "viewer/base/Hooks.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/DisplayThread.h"
#include "viewer/live/core/CaptureHandOff.h"
#include "viewer/live/core/DisplayBitmap.h"
#include "viewer/live/core/image/Render.h"

class QLabel;

namespace live {

class ImageArea;

class LiveView {
 public:
  LiveView(base::ViewState& view, const base::Hooks& hooks);

  // GUI thread: a page's image area and frame-rate text, null while the page does not exist.
  // Set by whoever builds the pages.
  std::function<live::ImageArea*(int page)> imageArea;
  std::function<QLabel*(int page)> frameRateText;

  // Any thread: one repaint of the top-left side x side pixels of a page's image area (the
  // whole area by default).
  void RequestImageRepaint(int page, int side = kDisplaySide);
  // Any thread: the frame-rate status text (1003) of a page.
  void PostFrameRateText(int page, const std::string& text);
  // Any thread: the blue no-signal picture on the image area of displayTarget; nothing while
  // there is no target.
  void PaintNoSignal();

  live::DisplayBitmap displayBitmap;
  live::CaptureHandOff captureBitmap;
  live::DisplayThread display;

 private:
  base::ViewState& view_;
  // Jobs posted to the GUI thread do nothing once the live view is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  // One repaint per page at a time, painted at the screen's next refresh, so a fast stream
  // neither floods the GUI queue nor paints pictures no screen shows; the side of the top-left
  // square it must cover grows with every request until it runs.
  std::array<std::atomic<bool>, base::kPageCount> repaintPending_{};
  std::array<std::atomic<int>, base::kPageCount> repaintSide_{};
  std::array<std::atomic<int>, base::kPageCount> lastRepaintSide_{};
};

}  // namespace live
