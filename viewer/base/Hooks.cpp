// The do-nothing defaults of the seams.
#include "viewer/base/Hooks.h"

namespace base {
namespace {

RefreshHooks defaultRefresh;
PlaybackHooks defaultPlayback;
RecordingHooks defaultRecording;
FrameHooks defaultFrames;
CommandHooks defaultCommands;
CalibrationHooks defaultCalibration;
CaptureHooks defaultCapture;

}  // namespace

Hooks DefaultHooks() {
  return {&defaultRefresh,  &defaultPlayback,    &defaultRecording, &defaultFrames,
          &defaultCommands, &defaultCalibration, &defaultCapture};
}

}  // namespace base
