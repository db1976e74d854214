// The display thread: waits for frames, renders the newest into the display bitmap, shows it on
// the displayed page, counts frame rates and hands the frame on.
#include "viewer/live/DisplayThread.h"

#include <chrono>
#include <memory>
#include <mutex>

#include "QEL_API.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/LiveView.h"
#include "viewer/live/core/FrameRate.h"
#include "viewer/live/core/SemaphoreWait.h"
#include "viewer/live/core/image/Render.h"

namespace live {
namespace {

constexpr int kWaitMs = 1000;
constexpr int64_t kStatusPeriodMs = 1000;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void DisplayThread::Prepare() {
  framesDisplayed_ = 0;
  lastFrameSide_ = 0;
}

void DisplayThread::Body() {
  base::ViewState& view = view_;
  const base::Hooks& hooks = hooks_;

  QEL_HANDLE semaphore = nullptr;
  QEL_GetDataSemaphoHandle(&semaphore);
  DrainDataSemaphore(semaphore);

  // The largest frame; the only buffer of the loop.
  std::unique_ptr<uint8_t[]> frame(new uint8_t[live::FrameBytes(1)]);
  int counter = 0;
  QEL_GetIndex(&counter);
  UsbRateCounter usbRate;
  usbRate.Start(counter);
  int lastDrawn = -1;
  uint32_t displayed = 0;
  int64_t statusTime = NowMs() - kStatusPeriodMs;

  live_.PaintNoSignal();

  while (KeepRunning()) {
    const int64_t now = NowMs();
    if (now - statusTime >= kStatusPeriodMs) {
      statusTime = now;
      QEL_GetIndex(&counter);
      const uint32_t usb = usbRate.EndPeriod(counter, displayed);
      const int target = view.displayTarget.load();
      if (target != base::kNoPage) live_.PostFrameRateText(target, FrameRateText(displayed, usb));
      displayed = 0;
    }

    if (!WaitDataSemaphore(semaphore, kWaitMs, [this] { return KeepRunning(); })) continue;
    DrainDataSemaphore(semaphore);

    QEL_GetIndex(&counter);
    usbRate.Observe(counter);
    if (counter == lastDrawn) continue;
    lastDrawn = counter;

    // The fetch size follows the head type as it is now; a frame of the other size fails the
    // check below and is dropped.
    const int fetchType = view.cisType.load();
    unsigned int length = 0;
    QEL_GetFrame(frame.get(), unsigned(live::FrameBytes(fetchType)), &length);

    uint8_t* display = live_.displayBitmap.Back();
    int cisType = 0;
    int zoom = 1;
    bool raw = false;
    {
      std::lock_guard<std::mutex> lock(view.viewGuard);
      cisType = view.cisType.load();
      if (live::CheckFrame(frame.get(), length, cisType) != 0) continue;
      zoom = live::ZoomFactor(view.zoomIndex.load());
      raw = view.rawView.load();
      if (display != nullptr) {
        const int dirty = live_.displayBitmap.BackDirtySide();
        if (raw) {
          live::RenderMono(frame.get(), cisType, zoom, display, dirty);
        } else {
          live::RenderColour(frame.get(), cisType, zoom, display, dirty);
        }
        if (!view.showBoundaryPixels.load()) live::BlankBoundary(cisType, zoom, display);
      }
    }
    // Only the picture changes from frame to frame; the overlays may reach beyond it.
    const bool limit = view.limitReached.load() != 0;
    const bool overlays = limit || raw;
    if (display != nullptr) {
      if (limit) live::DrawLimitNotice(display);
      if (raw) hooks.frames->DrawDefectOverlay(display, cisType, zoom);
      live_.displayBitmap.SetBackDirtySide(overlays ? live::kDisplaySide
                                                    : live::PictureSide(cisType, zoom));
    }

    const int target = view.displayTarget.load();
    if (target != base::kNoPage) {
      // Playback covers the Picture page's image area; the Calibration page keeps its live view.
      if (display != nullptr && (!hooks.playback->Active() || target == base::kCalibrationPage)) {
        live_.displayBitmap.Publish();
        live_.RequestImageRepaint(target,
                                  overlays ? live::kDisplaySide : live::PictureSide(cisType, zoom));
      }
      ++displayed;
      framesDisplayed_.fetch_add(1);
      lastFrameSide_ = live::Geometry(cisType).n;
    }

    sinks_.Hand({frame.get(), length, cisType, raw, view.showBoundaryPixels.load()});
  }
}

}  // namespace live
