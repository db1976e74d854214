// Video capture: the Start/Stop Video Capture command, the recorder thread that encodes every
// frame the display thread hands over, and the controls that show a recording.
#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "viewer/base/Hooks.h"
#include "viewer/base/WorkerThread.h"
#include "viewer/capture/core/VideoFile.h"

class QTimer;

namespace picture {
struct PageContext;
}
namespace live {
class CaptureHandOff;
}

namespace capture {

// Takes frames from the capture bitmap until it is stopped, the file is full or a write fails.
class Recorder : public base::WorkerThread {
 public:
  enum class End { Stopped, FileFull, WriteFailed };

  ~Recorder() { Finish(); }

  // Before Start: the file, opened for side x side frames taken from `handOff`. The writer's
  // result (0 success).
  int Open(const std::string& path, int side, SegmentLimits limits, live::CaptureHandOff& handOff);

  // Frames in the file so far; read from any thread.
  int FramesWritten() const { return framesWritten_.load(); }

  // Once the thread has ended: why, the result of closing the file, and the file itself.
  End Ended() const { return end_; }
  int CloseResult() const { return closeResult_; }
  const VideoFile& File() const { return file_; }

  // Called on the recorder thread when it ended by itself (file full or write failed).
  std::function<void()> endedByItself;

 private:
  void Body() override;

  live::CaptureHandOff* handOff_ = nullptr;
  VideoFile file_;
  std::atomic<int> framesWritten_{0};
  End end_ = End::Stopped;
  int closeResult_ = 0;
};

class VideoCapture : public base::RecordingHooks {
 public:
  VideoCapture();
  ~VideoCapture() override;

  bool Recording() const override { return recording_.load(); }
  void StopAndResetControls() override;
  void StartOrStopCommand() override;

  // Finishes a running recording first, then asks for the file, starts the recorder and shows
  // the recording controls. True when it runs; a cancelled dialog or a file that cannot be
  // created leaves everything idle.
  bool StartRecording();
  // Ends the recorder; on return the file is complete and closed. Returns at once when idle.
  void StopRecording();

  // Where the files of the next recordings end (tests lower them).
  void SetFileLimits(SegmentLimits limits) { limits_ = limits; }

  int RecordSeconds() const { return recordSeconds_; }
  const Recorder& LastRecorder() const { return recorder_; }

  // The pages, operator, live view and seams the recording works with; set at start-up.
  void Attach(picture::PageContext& context) { context_ = &context; }

 private:
  // Menu items, status label and page buttons of a recording, or of none.
  void ShowControls(bool recording);
  void Tick();
  void RecorderEndedByItself();
  // Tells the operator when the file that was just closed is not what was asked for.
  void ReportEnd();

  picture::PageContext* context_ = nullptr;
  Recorder recorder_;
  std::atomic<bool> recording_{false};
  // Counts the recordings started; GUI thread, read by the recorder it started.
  uint64_t recordingNumber_ = 0;
  std::unique_ptr<QTimer> timer_;
  int recordSeconds_ = 0;
  QString path_;
  SegmentLimits limits_;
};

}  // namespace capture
