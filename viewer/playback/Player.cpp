// The player: commands, placement and labels on the GUI thread; frames come decoded from the
// decoding thread and are swapped in when the stream's clock reaches them.
#include "viewer/playback/Player.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <algorithm>
#include <chrono>

#include "viewer/base/GuiCall.h"
#include "viewer/base/Ids.h"
#include "viewer/base/Operator.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"
#include "viewer/playback/core/FrameDecoder.h"
#include "viewer/playback/core/MediaFile.h"

namespace playback {
namespace {

constexpr int kLabelPeriodMs = 1000;
// The frame timer re-checks at least this often, whatever the frame period.
constexpr int64_t kLongestWaitMs = 1000;

class SteadyClock : public PlaybackClock {
 public:
  int64_t Microseconds() const override {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
};

const SteadyClock steadyClock;

const QString kCaption = QStringLiteral("Message");

}  // namespace

Player::Player(base::Operator& op, picture::PageContext& context)
    : op_(op), context_(context), clock_(&steadyClock), self_(std::make_shared<Player*>(this)) {
  labelTimer_.setInterval(kLabelPeriodMs);
  connect(&labelTimer_, &QTimer::timeout, this, [this] { UpdatePlaybackLabel(); });
  frameTimer_.setSingleShot(true);
  frameTimer_.setTimerType(Qt::PreciseTimer);
  connect(&frameTimer_, &QTimer::timeout, this, [this] { ShowDueFrame(); });
}

Player::~Player() {
  // The view forgets the picture, and the decoding thread ends, before the slots go.
  if (page_) controls_.view->SetPicture(nullptr, 0, 0, 0);
  decoder_.reset();
  *self_ = nullptr;
}

int64_t Player::Now() const {
  return clock_->Microseconds();
}

void Player::SetClock(const PlaybackClock* clock) {
  clock_ = clock != nullptr ? clock : &steadyClock;
}

void Player::Init(QWidget* mainWindow, QWidget* videoPage) {
  mainWindow_ = mainWindow;
  page_ = dynamic_cast<picture::LivePage*>(videoPage);
  if (page_) controls_ = AttachPlaybackControls(page_);
  state_ = kIdle;
  SetCommands(false);
  if (page_) controls_.videoWindow->hide();
  labelTimer_.start();
}

void Player::SetCommands(bool playing) {
  if (mainWindow_) {
    for (int id : {base::kCmdOpenMedia, base::kCmdPausePlay, base::kCmdPlayStop}) {
      if (auto* action = mainWindow_->findChild<QAction*>(QString::number(id))) {
        action->setEnabled(id == base::kCmdOpenMedia || playing);
      }
    }
  }
  if (page_) {
    for (int id : {base::kIdPausePlayButton, base::kIdPlayStopButton}) {
      if (auto* button = page_->findChild<QWidget*>(QString::number(id))) {
        button->setEnabled(playing);
      }
    }
  }
}

void Player::SetStatus(const QString& text) {
  if (page_) controls_.status->setText(text);
}

// The file label takes the frame-rate line's place while a file plays; an empty text gives it
// back.
void Player::ShowFileLabel(const QString& text) {
  if (!page_) return;
  page_->FrameRateText()->setVisible(text.isEmpty());
  controls_.fileLabel->setText(text);
  controls_.fileLabel->setVisible(!text.isEmpty());
}

void Player::ChooseAndPlay() {
  base::FileRequest request;
  request.owner = mainWindow_;
  request.title = QStringLiteral("Open File");
  request.filter = MediaFileFilter();
  request.defaultSuffix = QStringLiteral("avi");
  request.directory = QStringLiteral(".");
  const QString path = op_.OpenFile(request);
  if (path.isEmpty()) return;
  StartPlayback(path, QFileInfo(path).fileName());
}

void Player::StartPlayback(const QString& path, const QString& fileTitle) {
  if (state_ != kIdle) StopPlayback();
  state_ = kPlaying;
  SetCommands(true);
  SetStatus(QStringLiteral("PLAY"));
  mediaKind_ = MediaKindOfPath(path);

  // A file that opens but has no picture to show is refused here as well, instead of playing
  // nothing.
  std::unique_ptr<FrameDecoder> decoder;
  if (std::unique_ptr<MediaFile> media = MediaFile::Open(QFile::encodeName(path).toStdString())) {
    std::weak_ptr<Player*> self = self_;
    decoder = std::make_unique<FrameDecoder>(std::move(media), [this, self] {
      // Decoding thread: one posted call at a time is enough to catch up.
      if (readyPosted_.exchange(true)) return;
      base::PostToGui([self] {
        const std::shared_ptr<Player*> alive = self.lock();
        if (!alive || *alive == nullptr) return;
        (*alive)->readyPosted_ = false;
        (*alive)->ShowDueFrame();
      });
    });
    if (!decoder->Start()) decoder.reset();
  }
  if (!decoder) {
    op_.Message(page_ ? controls_.videoWindow : nullptr, kCaption,
                QStringLiteral("MediaPlay : File Open Error"), base::PromptIcon::Error);
    StopPlayback();
    return;
  }
  decoder_ = std::move(decoder);
  clockStarted_ = false;
  halted_ = false;
  events_.clear();
  framesShown_ = 0;
  shownFrame_ = -1;

  const MediaFile& media = decoder_->Media();
  if (page_) {
    controls_.view->SetPicture(nullptr, 0, 0, 0);
    ShowFileLabel(FileLabelText(fileTitle, media.Width(), media.Height()));
  }
  position_.Start(Now());
  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = context_.Page(index)) page->HideLive();
  }
  if (page_) {
    controls_.videoWindow->show();
    controls_.videoWindow->raise();
  }
  PlaceVideo();
  ShowDueFrame();
}

void Player::PlaceVideo() {
  if (!page_) return;
  if (state_ != kIdle && decoder_) {
    const MediaFile& media = decoder_->Media();
    const VideoRect r =
        PlaceVideoRect(media.Width(), media.Height(), context_.view.zoomIndex.load());
    controls_.view->setGeometry(r.x, r.y, r.width, r.height);
  }
  // The still or the paused frame is painted again at its new size.
  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = context_.Page(index)) page->update();
  }
  controls_.videoWindow->update();
  controls_.view->update();
}

void Player::TogglePause() {
  if (state_ == kPlaying) {
    position_.Pause(Now());
    frameTimer_.stop();
    SetStatus(QStringLiteral("PAUSE"));
    state_ = kPaused;
  } else if (state_ == kPaused) {
    // A stream that ended or failed stays where it stopped.
    if (!halted_) position_.Resume(Now());
    SetStatus(QStringLiteral("PLAY"));
    state_ = kPlaying;
    ShowDueFrame();
  }
}

void Player::StopPlayback() {
  if (state_ == kIdle) return;
  state_ = kIdle;
  mediaKind_ = kNoMedia;
  ShowFileLabel(QString());
  SetCommands(false);
  SetStatus(LiveText(context_.hooks.recording->Recording()));
  frameTimer_.stop();
  if (decoder_) {
    // The picture is forgotten before the slots it shows go.
    if (page_) controls_.view->SetPicture(nullptr, 0, 0, 0);
    decoder_.reset();
  }
  events_.clear();
  halted_ = false;
  shownFrame_ = -1;
  if (page_) controls_.videoWindow->hide();
  for (int index = 0; index < base::kPageCount; ++index) {
    if (picture::LivePage* page = context_.Page(index)) page->ShowLive();
  }
}

void Player::ShowDueFrame() {
  if (!decoder_ || halted_) return;
  const int64_t now = Now();
  const MediaFile& media = decoder_->Media();
  const Timeline& clock = media.Clock();
  const uint64_t wanted = media.Still() || !clockStarted_ ? 0 : clock.FrameAt(position_.At(now));

  const int64_t failed = decoder_->FailedFrame();
  if (failed >= 0 && wanted >= uint64_t(failed)) {
    Halt();
    PostEvent(kEventErrorAbort);
    return;
  }
  if (!media.Still() && wanted >= media.FrameCount()) {
    Halt();
    PostEvent(kEventComplete);
    return;
  }
  if (const uint8_t* pixels = decoder_->Take(wanted)) {
    if (page_)
      controls_.view->SetPicture(pixels, media.Width(), media.Height(), decoder_->Stride());
    shownFrame_ = int64_t(wanted);
    ++framesShown_;
    // The stream's time runs from the moment its first picture is up, so the time it took to
    // open the file and decode that picture does not make every later frame late.
    if (!clockStarted_) {
      clockStarted_ = true;
      position_.Start(now);
      if (state_ == kPaused) position_.Pause(now);
    }
    if (frameShown) frameShown(wanted);
  }
  if (!media.Still() && clockStarted_ && position_.Running()) {
    const int64_t waitUs = clock.FrameStart(wanted + 1) - position_.At(now);
    frameTimer_.start(int(std::clamp<int64_t>((waitUs + 999) / 1000, 0, kLongestWaitMs)));
  }
}

void Player::Halt() {
  halted_ = true;
  frameTimer_.stop();
  position_.Pause(Now());
}

void Player::PostEvent(long code) {
  events_.push_back(code);
  QTimer::singleShot(0, this, [this] { HandleGraphEvents(); });
}

void Player::HandleGraphEvents() {
  while (decoder_ && !events_.empty()) {
    const long code = events_.front();
    events_.pop_front();
    const EventAction action = ActionForEvent(code);
    if (action.text != nullptr) {
      op_.Message(page_ ? controls_.videoWindow : nullptr, kCaption,
                  QString::fromLatin1(action.text), action.icon);
    }
    if (action.stop) {
      StopPlayback();
      return;
    }
  }
}

void Player::UpdatePlaybackLabel() {
  // While idle the recorder's own one-second label owns the status label.
  if (state_ == kIdle || !decoder_) return;
  const MediaFile& media = decoder_->Media();
  const int64_t duration = media.Still() ? 0 : media.Clock().Duration();
  const int64_t position = std::clamp<int64_t>(position_.At(Now()), 0, duration);
  SetStatus(PositionText(state_, double(position) / 1e6, double(duration) / 1e6));
}

}  // namespace playback
