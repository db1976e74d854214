// The capture subsystem in the viewer: still capture, the settings file commands and video
// capture, joined to the shell through its hooks.
#pragma once

#include <mutex>
#include <string>

#include "viewer/base/Hooks.h"
#include "viewer/capture/VideoCapture.h"
#include "viewer/live/FrameSink.h"
#include "viewer/picture/PageContext.h"

namespace capture {

// A still request from the GUI thread to the display thread. The frame saved is one fetched
// after the request: the first frame that meets a new request only arms it (it may have been
// fetched before the dialog closed), the next one is saved.
class StillRequest {
 public:
  // GUI thread. A request still pending is replaced: one still, to the latest path.
  void Request(std::string path);
  // Display thread, once for every checked frame: true, with the path, for the frame to save.
  bool Take(std::string& path);
  bool Pending() const;

 private:
  enum class State { None, Requested, Armed };
  mutable std::mutex mutex_;
  State state_ = State::None;
  std::string path_;
};

// Still capture is a frame sink: a pending still is saved from the checked frames.
class CaptureCommands : public base::CaptureHooks, public live::FrameSink {
 public:
  void StillCaptureCommand() override;
  void LoadSettingsFile() override;
  void SaveSettingsFile() override;
  // Display thread.
  void Take(const live::CheckedFrame& frame) override;

  StillRequest& Still() { return still_; }

  // The pages, operator and view state the commands work with; set at start-up, before the
  // display thread runs.
  void Attach(picture::PageContext& context) { context_ = &context; }

 private:
  picture::PageContext* context_ = nullptr;
  StillRequest still_;
};

CaptureCommands& TheCaptureCommands();
VideoCapture& TheVideoCapture();

}  // namespace capture
