// The viewer's process-wide objects: bitmaps, threads, pages and the operator.
#pragma once

#include <QPointer>
#include <array>
#include <atomic>
#include <string>

#include "viewer/live/DisplayThread.h"
#include "viewer/live/core/CaptureHandOff.h"
#include "viewer/live/core/DisplayBitmap.h"
#include "viewer/live/core/Render.h"
#include "viewer/shell/Ids.h"
#include "viewer/shell/MonitorThread.h"

namespace shell {

class LivePage;
class MainWindow;
class Operator;

struct Shell {
  live::DisplayBitmap displayBitmap;
  live::CaptureHandOff captureBitmap;
  live::DisplayThread display;
  MonitorThread monitor;
  Operator* op = nullptr;

  // GUI thread only; workers name a page by its index and let the GUI thread look it up.
  std::array<QPointer<LivePage>, kPageCount> pages;
  QPointer<MainWindow> mainWindow;

  // One repaint per page at a time, painted at the screen's next refresh, so a fast stream
  // neither floods the GUI queue nor paints pictures no screen shows; the side of the top-left
  // square it must cover grows with every request until it runs.
  std::array<std::atomic<bool>, kPageCount> repaintPending{};
  std::array<std::atomic<int>, kPageCount> repaintSide{};
  std::array<std::atomic<int>, kPageCount> lastRepaintSide{};
};

Shell& TheShell();

// Any thread: one repaint of the top-left side x side pixels of a page's image area (the whole
// area by default).
void RequestImageRepaint(int page, int side = live::kDisplaySide);

// Any thread: the frame-rate status text (1003) of a page.
void PostFrameRateText(int page, const std::string& text);

// Any thread: the blue no-signal picture on the image area of displayTarget; nothing while there
// is no target.
void PaintNoSignal();

}  // namespace shell
