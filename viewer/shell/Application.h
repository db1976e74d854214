// Process start-up and shutdown of the viewer, and its command line.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "viewer/base/Hooks.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/LiveView.h"
#include "viewer/live/RecorderFeed.h"
#include "viewer/picture/PageContext.h"
#include "viewer/shell/MainWindow.h"
#include "viewer/shell/MonitorThread.h"
#include "viewer/shell/ProgramHooks.h"

namespace playback {
class Player;
}

namespace base {
class Operator;
}  // namespace base

namespace shell {

struct Options {
  bool simulate = false;
  int simulatedHead = 0;  // 0 40K, 1 160K
  QString screenshot;     // save a PNG of the main window once live frames show, then exit
  QString simulateState;  // keep the simulated unit's EEPROMs in this file (implies simulate)
  QString play;           // a media file played at start-up; the screenshot waits for its picture
  QString dumpControls;   // write the controls as JSON once the unit's values show, then exit
  QString error;          // non-empty for a command line that cannot be used
};

// --simulate, --simulate=160k (or =40k), --simulate-state FILE, --screenshot FILE, --play FILE,
// --dump-controls FILE; a file option may also be written --name=FILE.
Options ParseOptions(const QStringList& arguments);

class Application {
 public:
  explicit Application(base::Operator& op);
  ~Application();

  // Capture bitmap, library, monitor thread, display bitmap, then the main window (shown).
  void StartUp(const Options& options);
  MainWindow* Window() const { return window_.get(); }
  playback::Player* Player() const { return player_.get(); }
  // Runs the close sequence if the window has not, then stops the threads, terminates the
  // library and frees the bitmaps.
  void ShutDown();

  // StartUp, the event loop (or the screenshot), ShutDown. The process exit code.
  int Run(const Options& options);

  // The view state, the seams, the live view with its display thread, and the monitor thread;
  // tests and benchmarks look at them and replace seams.
  base::ViewState& State() { return view_; }
  base::Hooks& Seams() { return hooks_; }
  live::LiveView& Live() { return live_; }
  MonitorThread& Monitor() { return monitor_; }

 private:
  // The screenshot and the controls dump, each as the options ask, then the window closes.
  int SaveAndExit(const Options& options);
  // Every seam and frame sink of the program, in one place; before the threads start.
  void InstallHooks();

  base::Operator& op_;
  base::ViewState view_;
  base::Hooks hooks_ = base::DefaultHooks();
  live::LiveView live_{view_, hooks_};
  picture::PageContext context_{view_, hooks_, live_};
  MonitorThread monitor_{context_};
  live::RecorderFeed recorderFeed_{live_.captureBitmap};
  ProgramHooks program_{context_};
  std::unique_ptr<playback::Player> player_;
  std::unique_ptr<MainWindow> window_;
  bool started_ = false;
};

}  // namespace shell
