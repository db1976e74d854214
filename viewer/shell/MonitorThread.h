// The monitor thread: follows the unit's connection and head type ten times a second and keeps
// the pages in step with them.
#pragma once

#include <atomic>
#include <thread>

#include "viewer/base/WorkerThread.h"

namespace picture {
struct PageContext;
}

namespace shell {

// Start returns once the thread runs; it idles until the main window and both pages are
// ready. Stop waits at most about one cycle.
class MonitorThread : public base::WorkerThread {
 public:
  // Drives the pages, the live view and the refreshes of `context`.
  explicit MonitorThread(picture::PageContext& context) : context_(context) {}
  ~MonitorThread() { Finish(); }

  // Completed cycles with all pages ready, for tests that wait for the monitor to catch up.
  int Cycles() const { return cycles_.load(); }

 private:
  void Prepare() override { cycles_ = 0; }
  void Body() override;
  void Cycle(bool& firstPassDone, int& previousStatus);
  bool PagesReady() const;

  // The head-type switch of the pages: the Picture page switches to the head type, the
  // Calibration page refreshes for it, then both zoom lists select zoomIndex under viewGuard.
  // GUI thread.
  void ReconfigureForType();
  // Window title "QEL_Viewer" and empty Camera Info values on both pages. GUI thread.
  void ClearCameraInfo();
  // Firmware and FPGA versions into the Camera Info box of both pages. Reads the unit on the
  // calling thread and shows the texts through the GUI thread.
  void ShowVersions();

  picture::PageContext& context_;
  std::atomic<int> cycles_{0};
};

}  // namespace shell
