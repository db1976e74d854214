// The monitor thread: follows the unit's connection and head type ten times a second and keeps
// the pages in step with them.
#pragma once

#include <atomic>
#include <thread>

namespace shell {

class MonitorThread {
 public:
  MonitorThread() = default;
  MonitorThread(const MonitorThread&) = delete;
  MonitorThread& operator=(const MonitorThread&) = delete;
  ~MonitorThread();

  // Starts the thread and returns once it runs; it idles until the main window and both pages
  // are ready.
  void Start();
  // Clears the run flag and waits (at most about one cycle) until the thread has ended, serving
  // queued GUI calls meanwhile when called on the GUI thread.
  void Stop();

  bool Running() const { return state_.load() == 1; }
  // Completed cycles with all pages ready, for tests that wait for the monitor to catch up.
  int Cycles() const { return cycles_.load(); }

 private:
  void Run();
  void Cycle(bool& firstPassDone, int& previousStatus);

  std::thread thread_;
  std::atomic<bool> run_{false};
  std::atomic<int> state_{2};
  std::atomic<int> cycles_{0};
};

// The head-type switch of the pages: the Picture page switches to the head type, the Calibration
// page refreshes for it, then both zoom lists select zoomIndex under viewGuard. GUI thread.
void ReconfigureForType();

// Window title "QEL_Viewer" and empty Camera Info values on both pages. GUI thread.
void ClearCameraInfo();

// Firmware and FPGA versions into the Camera Info box of both pages. Reads the unit on the
// calling thread and shows the texts through the GUI thread.
void ShowVersions();

}  // namespace shell
