// Media playback over the Picture page's image area: an AVI video or a BMP still shown at the
// live view's zoom, with pause, stop, the running time and the end-of-file and error events.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

#include "viewer/base/Hooks.h"
#include "viewer/playback/PlaybackRules.h"
#include "viewer/playback/PlaybackWidgets.h"
#include "viewer/playback/core/Timeline.h"

namespace base {
class Operator;
}  // namespace base
namespace picture {
class LivePage;
struct PageContext;
}  // namespace picture

namespace playback {

class FrameDecoder;

// Microseconds from any fixed start.
class PlaybackClock {
 public:
  virtual ~PlaybackClock() = default;
  virtual int64_t Microseconds() const = 0;
};

// GUI thread, except Active(). Message boxes go to the operator given at construction.
class Player : public QObject, public base::PlaybackHooks {
 public:
  // Plays over the Picture page of `context`; messages and file dialogs go through `op`.
  Player(base::Operator& op, picture::PageContext& context);
  ~Player() override;

  // Attaches to the main window's menu and the Picture page's controls, and starts the
  // one-second label timer.
  void Init(QWidget* mainWindow, QWidget* videoPage) override;
  bool Active() const override { return state_.load() != kIdle; }
  // Places the picture for the current zoom and paints it again.
  void PlaceVideo() override;
  // The open dialog; a chosen file is played.
  void ChooseAndPlay() override;
  void TogglePause() override;
  void Stop() override { StopPlayback(); }

  // Stops what plays, then plays the file; a file that cannot be shown is reported and playback
  // returns to idle.
  void StartPlayback(const QString& path, const QString& fileTitle);
  void StopPlayback();
  // The one-second timer's work: position and duration in the status label while playing.
  void UpdatePlaybackLabel();
  // Handles the events the playback has queued (end of file, error).
  void HandleGraphEvents();
  // Shows the frame the clock has reached and arms the timer for the next one. The frame timer
  // and the decoder call it; tests call it after moving their clock.
  void ShowDueFrame();

  int State() const { return state_.load(); }
  int Kind() const { return mediaKind_; }
  const PlaybackControls& Controls() const { return controls_; }

  // A clock in place of the steady one (null restores it); set it while idle.
  void SetClock(const PlaybackClock* clock);
  // Frames put on screen since the last start, and the one on screen (-1: none).
  uint64_t FramesShown() const { return framesShown_; }
  int64_t ShownFrame() const { return shownFrame_; }
  // Called with each frame as it goes on screen.
  std::function<void(uint64_t frame)> frameShown;

 private:
  int64_t Now() const;
  void SetCommands(bool playing);
  void SetStatus(const QString& text);
  void ShowFileLabel(const QString& text);
  void PostEvent(long code);
  void Halt();

  base::Operator& op_;
  picture::PageContext& context_;
  const PlaybackClock* clock_;
  QPointer<QWidget> mainWindow_;
  QPointer<picture::LivePage> page_;
  PlaybackControls controls_;
  QTimer labelTimer_;
  QTimer frameTimer_;

  std::atomic<int> state_{kIdle};
  int mediaKind_ = kNoMedia;
  std::unique_ptr<FrameDecoder> decoder_;
  StreamPosition position_;
  bool clockStarted_ = false;  // the first frame is on screen
  bool halted_ = false;        // the stream has ended or failed; the picture stays
  std::deque<long> events_;
  uint64_t framesShown_ = 0;
  int64_t shownFrame_ = -1;

  // Lets the decoder's posted calls find out whether the player still exists.
  std::shared_ptr<Player*> self_;
  std::atomic<bool> readyPosted_{false};
};

}  // namespace playback
