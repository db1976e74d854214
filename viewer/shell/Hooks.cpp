// The installed seams of the shell, with do-nothing defaults.
#include "viewer/shell/Hooks.h"

namespace shell {
namespace {

RefreshHooks defaultRefresh;
PlaybackHooks defaultPlayback;
RecordingHooks defaultRecording;
FrameHooks defaultFrames;
CommandHooks defaultCommands;
CalibrationHooks defaultCalibration;
CaptureHooks defaultCapture;

}  // namespace

Hooks& InstalledHooks() {
  static Hooks hooks{&defaultRefresh,  &defaultPlayback,    &defaultRecording, &defaultFrames,
                     &defaultCommands, &defaultCalibration, &defaultCapture};
  return hooks;
}

void InstallHooks(const Hooks& hooks) {
  Hooks& h = InstalledHooks();
  h.refresh = hooks.refresh ? hooks.refresh : &defaultRefresh;
  h.playback = hooks.playback ? hooks.playback : &defaultPlayback;
  h.recording = hooks.recording ? hooks.recording : &defaultRecording;
  h.frames = hooks.frames ? hooks.frames : &defaultFrames;
  h.commands = hooks.commands ? hooks.commands : &defaultCommands;
  h.calibration = hooks.calibration ? hooks.calibration : &defaultCalibration;
  h.capture = hooks.capture ? hooks.capture : &defaultCapture;
}

}  // namespace shell
