// Seams where the page refresh, playback, recording, capture and calibration code join the
// main window and the threads.
// Each default does nothing; the owning subsystem installs its own implementation at start-up.
#pragma once

#include <cstdint>

class QWidget;

namespace base {

// Moving device values onto the pages. Called on the monitor thread, where device reads belong;
// implementations deliver widget updates to the GUI thread.
class RefreshHooks {
 public:
  virtual ~RefreshHooks() = default;
  // Monitor start: forget the Camera Info texts shown last, so the next refresh writes them all.
  virtual void ResetCameraInfoCache() {}
  // The Camera Info box was emptied and the title reset (ClearCameraInfo): forget what was shown
  // there, so the next refresh writes it again.
  virtual void CameraInfoCleared() {}
  virtual void CameraInfoRefresh() {}
  virtual void ChangeRefresh() {}
  // Also run on the GUI thread by the commands that load parameters into the unit.
  virtual void FullRefresh() {}
  // After the pages switched to a new head type and refilled their lists: a full refresh that
  // selects every list entry, changed or not.
  virtual void FullRefreshForNewHeadType() { FullRefresh(); }
  // Any thread: a full refresh has put the unit's values on the pages.
  virtual bool FullRefreshShown() const { return false; }
};

// Media playback over the Picture page's image area. GUI thread.
class PlaybackHooks {
 public:
  virtual ~PlaybackHooks() = default;
  // Main window set-up, once the pages exist: the player's output lies over videoPage's image
  // area.
  virtual void Init(QWidget* /*mainWindow*/, QWidget* /*videoPage*/) {}
  // Read from any thread.
  virtual bool Active() const { return false; }
  virtual void PlaceVideo() {}
  virtual void ChooseAndPlay() {}
  virtual void TogglePause() {}
  virtual void Stop() {}
};

// Video recording. GUI thread, except Recording(), read from any thread.
class RecordingHooks {
 public:
  virtual ~RecordingHooks() = default;
  virtual bool Recording() const { return false; }
  // Finishes a running recording without asking and resets its controls; harmless when idle.
  virtual void StopAndResetControls() {}
  virtual void StartOrStopCommand() {}
};

// Drawing over the live view on the display thread, before the frame is shown. The consumers
// of the shown frames are the display thread's frame sinks.
class FrameHooks {
 public:
  virtual ~FrameHooks() = default;
  // Drawn into the display bitmap while the raw view is shown, when the overlay is switched on.
  virtual void DrawDefectOverlay(uint8_t* /*display*/, int /*cisType*/, int /*zoom*/) {}
};

// Menu commands carried out by other subsystems. GUI thread.
class CommandHooks {
 public:
  virtual ~CommandHooks() = default;
  // EEPROM parameter commands 40013..40018.
  virtual void EepromCommand(int /*id*/) {}
};

// The Calibration page's frame CSV run as the menu and the Picture page see it. GUI thread.
class CalibrationHooks {
 public:
  virtual ~CalibrationHooks() = default;
  // Menu 40010, called only after the dispatcher found a camera connected.
  virtual void SaveAsCsvCommand() {}
  // The Picture page was shown: a running CSV run ends, with a notice to the operator.
  virtual void AbortCsvExport() {}
  virtual bool CsvExportActive() const { return false; }
};

// Still capture and the settings file. The commands run on the GUI thread, called only after
// the dispatcher found a camera connected.
class CaptureHooks {
 public:
  virtual ~CaptureHooks() = default;
  virtual void StillCaptureCommand() {}
  virtual void LoadSettingsFile() {}
  virtual void SaveSettingsFile() {}
};

// The implementations the application installs; never null.
struct Hooks {
  RefreshHooks* refresh;
  PlaybackHooks* playback;
  RecordingHooks* recording;
  FrameHooks* frames;
  CommandHooks* commands;
  CalibrationHooks* calibration;
  CaptureHooks* capture;
};

// Every seam with its do-nothing default.
Hooks DefaultHooks();

}  // namespace base
