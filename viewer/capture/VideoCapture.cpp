// Video capture: command, recorder thread and the controls of a running recording.
#include "viewer/capture/VideoCapture.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <chrono>

#include "QEL_API.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"

namespace capture {
namespace {

using base::PromptIcon;

constexpr int kStatusLabel = 9202;  // Picture page: "LIVE", "LIVE (REC)", ...
constexpr int kVideoButton = 3004;  // both pages
constexpr int kTickMs = 1000;
// How long the recorder sleeps at most between two looks at its stop request.
constexpr std::chrono::milliseconds kFrameWait(200);

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The text of a label or button on a page, when the page has that control.
void SetControlText(const picture::PageContext& context, int page, int id, const QString& text) {
  picture::LivePage* p = context.Page(page);
  if (p == nullptr) return;
  QWidget* control = p->findChild<QWidget*>(QString::number(id));
  if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(text);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    button->setText(text);
  }
}

void ShowMessage(const picture::PageContext& context, const QString& text, PromptIcon icon) {
  if (base::Operator* op = context.op) {
    op->Message(context.Window(), QStringLiteral("Message"), text, icon);
  }
}

bool Ask(const picture::PageContext& context, const QString& text) {
  base::Operator* op = context.op;
  return op != nullptr &&
         op->Ask(context.Window(), QStringLiteral("Message"), text, PromptIcon::Information);
}

}  // namespace

int Recorder::Open(const std::string& path, int side, SegmentLimits limits,
                   live::CaptureHandOff& handOff) {
  handOff_ = &handOff;
  end_ = End::Stopped;
  closeResult_ = 0;
  framesWritten_ = 0;
  return file_.Open(path, side, NowMs(), limits);
}

void Recorder::Body() {
  live::CaptureHandOff& hand = *handOff_;
  // The picture in the bitmap now was converted before the recording began.
  uint32_t seen = hand.FrameSequence();
  while (KeepRunning() && !hand.Interrupted()) {
    int side = 0;
    const uint8_t* bitmap = hand.Claim(seen, side, kFrameWait);
    if (bitmap == nullptr) continue;
    // A frame of another head type (the monitor is about to stop the recording) does not fit.
    const bool encoded = side == file_.Side() && file_.Encode(bitmap, NowMs());
    hand.Release();
    if (!encoded) continue;
    const int result = file_.Append();
    if (result == AviWriter::kOk) {
      framesWritten_ = file_.Frames();
      continue;
    }
    end_ = result == AviWriter::kFull ? End::FileFull : End::WriteFailed;
    break;
  }
  closeResult_ = file_.Close();
  if (end_ != End::Stopped && endedByItself) endedByItself();
}

VideoCapture::VideoCapture() {
  // The call names its recording: one that arrives after the next recording began is dropped.
  recorder_.endedByItself = [this] {
    const uint64_t recording = recordingNumber_;
    base::PostToGui([this, recording] {
      if (recording == recordingNumber_) RecorderEndedByItself();
    });
  };
}

VideoCapture::~VideoCapture() = default;

void VideoCapture::StartOrStopCommand() {
  if (recording_) {
    if (Ask(*context_, QStringLiteral("Stop Video Capture"))) StopAndResetControls();
    return;
  }
  int status = 0;
  QEL_GetStatus(&status);
  if ((status & 1) == 0) {
    ShowMessage(*context_, QStringLiteral("No Connected Camera!"), PromptIcon::Warning);
    return;
  }
  if (Ask(*context_, QStringLiteral("Start Video Capture"))) StartRecording();
}

bool VideoCapture::StartRecording() {
  StopAndResetControls();
  picture::PageContext& context = *context_;
  base::ViewState& view = context.view;
  if (context.op == nullptr) return false;
  // The boundary setting is fixed while recording, so every frame has this side.
  const int cisType = view.cisType.load();
  const int side = live::CaptureSide(cisType, view.showBoundaryPixels.load());

  base::FileRequest request;
  const int shown = view.displayTarget.load();
  request.owner = context.Page(shown);
  request.title = QStringLiteral("Save File");
  request.filter = QStringLiteral("AVI File (*.avi)");
  request.defaultSuffix = QStringLiteral("avi");
  request.proposedName = QString::fromStdString(MakeCaptureFileName(cisType, side) + ".avi");
  const QString path = context.op->SaveFile(request);
  if (path.isEmpty()) return false;

  path_ = path;
  if (!context.live.captureBitmap.Exists() ||
      recorder_.Open(QFile::encodeName(path).toStdString(), side, limits_,
                     context.live.captureBitmap) != AviWriter::kOk) {
    ShowMessage(*context_, QStringLiteral("Video Capture : Cannot Create File!\n") + path,
                PromptIcon::Warning);
    return false;
  }
  context.live.captureBitmap.Resume();
  ++recordingNumber_;
  recording_ = true;
  recorder_.Start();

  recordSeconds_ = 0;
  timer_ = std::make_unique<QTimer>();
  timer_->setInterval(kTickMs);
  QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] { Tick(); });
  timer_->start();
  ShowControls(true);
  return true;
}

void VideoCapture::StopRecording() {
  if (!recording_) return;
  context_->live.captureBitmap.Interrupt();
  recorder_.Stop();
  recording_ = false;
  timer_.reset();
}

void VideoCapture::StopAndResetControls() {
  if (!recording_) return;
  StopRecording();
  ShowControls(false);
  ReportEnd();
}

void VideoCapture::RecorderEndedByItself() {
  // The operator may have stopped the recording while this call was on its way.
  StopAndResetControls();
}

void VideoCapture::ReportEnd() {
  if (recorder_.Ended() == Recorder::End::WriteFailed ||
      recorder_.CloseResult() != AviWriter::kOk) {
    ShowMessage(*context_, QStringLiteral("Video Capture : Write Error!\n") + path_,
                PromptIcon::Warning);
  } else if (recorder_.Ended() == Recorder::End::FileFull) {
    ShowMessage(
        *context_,
        QStringLiteral("Video Capture : File Size Limit Reached.\nRecording Stopped.\n") + path_,
        PromptIcon::Warning);
  }
}

void VideoCapture::Tick() {
  ++recordSeconds_;
  if (context_->hooks.playback->Active()) return;
  SetControlText(*context_, base::kPicturePage, kStatusLabel,
                 QString::asprintf("LIVE (REC [%dsec])", recordSeconds_));
}

void VideoCapture::ShowControls(bool recording) {
  if (QAction* boundary = context_->MenuAction(base::kCmdBoundaryPixels))
    boundary->setEnabled(!recording);
  SetControlText(*context_, base::kPicturePage, kStatusLabel,
                 recording ? QStringLiteral("LIVE (REC)") : QStringLiteral("LIVE"));
  for (int page = 0; page < base::kPageCount; ++page) {
    SetControlText(*context_, page, kVideoButton,
                   recording ? QStringLiteral("Stop Capture") : QStringLiteral("Video Capture"));
  }
  if (QAction* item = context_->MenuAction(base::kCmdVideoCapture)) {
    item->setText(recording ? QStringLiteral("Stop Video Capture")
                            : QStringLiteral("Start Video Capture"));
  }
}

}  // namespace capture
