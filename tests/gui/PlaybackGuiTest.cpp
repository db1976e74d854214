// Media playback in the running viewer: placement over the image area at every zoom, stills,
// pause, the end of a file, refused and breaking files, the commands and the live view beside it.
#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>

#include "tests/gui/ViewerFixture.h"
#include "tests/playback/MediaFiles.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/ViewState.h"
#include "viewer/playback/PlaybackRules.h"
#include "viewer/playback/Player.h"
#include "viewer/playback/core/MediaFile.h"
#include "viewer/shell/MainWindow.h"

namespace {

using testing_support::ScriptedOperator;
using testmedia::Bytes;

class DrivenClock : public playback::PlaybackClock {
 public:
  int64_t Microseconds() const override { return now; }
  int64_t now = 1000000;
};

class FixedRecording : public base::RecordingHooks {
 public:
  explicit FixedRecording(bool recording) : recording_(recording) {}
  bool Recording() const override { return recording_; }

 private:
  bool recording_;
};

class PlaybackTest : public ViewerTest {
 protected:
  void Start(int head = 0) {
    ViewerTest::Start(head);
    player()->SetClock(&clock_);
  }
  void TearDown() override {
    ViewerTest::TearDown();
    EXPECT_EQ(playback::MediaFile::OpenCount(), 0);
  }

  playback::Player* player() const { return app_->Player(); }
  const playback::PlaybackControls& controls() const { return player()->Controls(); }

  QString Write(const QString& name, const Bytes& bytes) const {
    const QString path = dir_.filePath(name);
    testmedia::WriteFile(path.toStdString(), bytes);
    return path;
  }
  // A video of flat colour frames (testmedia::FrameColour).
  QString Video(const QString& name, int frames, int side = 200, uint32_t rate = 30,
                int broken = -1) const {
    testmedia::AviPlan plan;
    plan.width = side;
    plan.height = side;
    plan.rate = rate;
    plan.segments = {testmedia::MakeFrames(frames, side, side)};
    if (broken >= 0) plan.segments[0][size_t(broken)] = Bytes(700, 0x5A);
    return Write(name, BuildAvi(plan));
  }

  void Play(const QString& path) { player()->StartPlayback(path, QFileInfo(path).fileName()); }

  // Moves the stream clock and shows the frame it reaches.
  void Advance(double seconds) {
    clock_.now += int64_t(seconds * 1e6);
    player()->ShowDueFrame();
  }
  bool WaitShown(int64_t frame) {
    return WaitFor([&] { return player()->ShownFrame() == frame; }, 2000);
  }
  // The played picture as painted.
  QImage Shown() const { return controls().view->grab().toImage(); }
  static void ExpectColour(const QImage& picture, int frame) {
    const QRgb p = picture.pixel(picture.width() / 2, picture.height() / 2);
    const testmedia::Rgb c = testmedia::FrameColour(frame);
    EXPECT_NEAR(qRed(p), c.r, 3) << frame;
    EXPECT_NEAR(qGreen(p), c.g, 3) << frame;
    EXPECT_NEAR(qBlue(p), c.b, 3) << frame;
  }

  QString Text(int id) const {
    return Page(kPicturePage)->findChild<QLabel*>(QString::number(id))->text();
  }
  bool Enabled(int command) const { return Window()->MenuAction(command)->isEnabled(); }
  std::vector<ScriptedOperator::Call> Messages() const {
    std::vector<ScriptedOperator::Call> messages;
    for (const auto& call : op_.calls) {
      if (call.kind == ScriptedOperator::Kind::Message) messages.push_back(call);
    }
    return messages;
  }
  bool WaitMessages(size_t count) {
    return WaitFor([&] { return Messages().size() >= count; }, 2000);
  }

  // Everything as it is while no file plays.
  void ExpectIdle(const QString& status = QStringLiteral("LIVE")) const {
    EXPECT_EQ(player()->State(), playback::kIdle);
    EXPECT_FALSE(player()->Active());
    EXPECT_EQ(Text(base::kIdPlaybackStatus), status);
    EXPECT_FALSE(controls().fileLabel->isVisible());
    EXPECT_TRUE(controls().fileLabel->text().isEmpty());
    EXPECT_TRUE(Page(kPicturePage)->FrameRateText()->isVisible());
    EXPECT_TRUE(Page(kPicturePage)->Image()->isVisible());
    EXPECT_FALSE(controls().videoWindow->isVisible());
    EXPECT_TRUE(Enabled(base::kCmdOpenMedia));
    EXPECT_FALSE(Enabled(base::kCmdPausePlay));
    EXPECT_FALSE(Enabled(base::kCmdPlayStop));
    EXPECT_EQ(playback::MediaFile::OpenCount(), 0);
  }

  DrivenClock clock_;
};

struct Placement {
  int side;
  int zoomEntry;
  QRect expected;
};

TEST_F(PlaybackTest, ThePictureLiesOverTheImageAreaWithoutTheBoundaryAtEveryZoom) {
  Start();
  const Placement placements[] = {
      {200, 1, {2, 2, 400, 400}}, {202, 1, {0, 0, 404, 404}}, {200, 2, {4, 4, 800, 800}},
      {400, 0, {2, 2, 400, 400}}, {404, 1, {0, 0, 808, 808}}, {96, 1, {0, 0, 192, 192}},
  };
  for (const Placement& p : placements) {
    SCOPED_TRACE(p.side);
    ChooseZoom(kPicturePage, 0);
    const QString path = Video(QStringLiteral("clip%1.avi").arg(p.side), 3, p.side);
    Play(path);
    ASSERT_EQ(player()->State(), playback::kPlaying);
    EXPECT_EQ(player()->Kind(), playback::kVideo);
    EXPECT_EQ(Text(base::kIdFileLabel), QStringLiteral("clip%1.avi [%1x%1]").arg(p.side));
    EXPECT_EQ(Text(base::kIdPlaybackStatus), "PLAY");
    EXPECT_TRUE(controls().fileLabel->isVisible());
    EXPECT_FALSE(Page(kPicturePage)->FrameRateText()->isVisible());
    EXPECT_FALSE(Page(kPicturePage)->Image()->isVisible());
    EXPECT_TRUE(controls().videoWindow->isVisible());
    EXPECT_EQ(controls().videoWindow->geometry(), Page(kPicturePage)->Image()->geometry());
    EXPECT_TRUE(Enabled(base::kCmdPausePlay));
    EXPECT_TRUE(Enabled(base::kCmdPlayStop));
    const playback::VideoRect atFull = playback::PlaceVideoRect(p.side, p.side, 0);
    EXPECT_EQ(controls().view->geometry(), QRect(atFull.x, atFull.y, atFull.width, atFull.height));
    ChooseZoom(kPicturePage, p.zoomEntry);
    EXPECT_EQ(controls().view->geometry(), p.expected);
    ASSERT_TRUE(WaitShown(0));
    ExpectColour(Shown(), 0);
  }
  // Each start stopped the file before it.
  EXPECT_EQ(playback::MediaFile::OpenCount(), 1);
  EXPECT_TRUE(Messages().empty());
}

// The pattern picture as the files of other programs hold it.
QImage PatternImage(int side) {
  QImage image(side, side, QImage::Format_RGB32);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const testmedia::Rgb c = testmedia::Pattern(x, y);
      image.setPixel(x, y, qRgb(c.r, c.g, c.b));
    }
  }
  return image;
}

// Every picture pixel fills a zoom x zoom block of the painted picture.
void ExpectPixelExact(const QImage& painted, const QImage& source, int zoom) {
  ASSERT_EQ(painted.size(), source.size() * zoom);
  for (int y = 0; y < painted.height(); ++y) {
    for (int x = 0; x < painted.width(); ++x) {
      ASSERT_EQ(painted.pixel(x, y) | 0xFF000000u, source.pixel(x / zoom, y / zoom))
          << x << "," << y;
    }
  }
}

TEST_F(PlaybackTest, StillsOfOtherProgramsShowPixelExactAndAgainAfterAZoomChange) {
  const QImage pattern = PatternImage(200);
  ASSERT_TRUE(pattern.save(dir_.filePath("qt.BMP"), "BMP"));
  ASSERT_TRUE(pattern.save(dir_.filePath("pattern.png"), "PNG"));
  const std::string png = dir_.filePath("pattern.png").toStdString();
  for (const char* format : {"bgr24", "bgra"}) {
    ASSERT_TRUE(testmedia::Ffmpeg("-i '" + png + "' -pix_fmt " + format + " '" +
                                  dir_.filePath(format).toStdString() + ".bmp'"));
  }
  Start();
  for (const char* name : {"qt.BMP", "bgr24.bmp", "bgra.bmp"}) {
    SCOPED_TRACE(name);
    ChooseZoom(kPicturePage, 0);
    Play(dir_.filePath(QString::fromLatin1(name)));
    ASSERT_EQ(player()->State(), playback::kPlaying);
    EXPECT_EQ(player()->Kind(), playback::kBmpStill);
    ASSERT_TRUE(WaitShown(0));
    ExpectPixelExact(Shown(), pattern, 1);
    EXPECT_EQ(controls().view->geometry(), QRect(1, 1, 200, 200));

    ChooseZoom(kPicturePage, 1);
    EXPECT_EQ(controls().view->geometry(), QRect(2, 2, 400, 400));
    ExpectPixelExact(Shown(), pattern, 2);
    // A still stays until it is stopped.
    Advance(100);
    player()->UpdatePlaybackLabel();
    EXPECT_EQ(Text(base::kIdPlaybackStatus), "PLAY [0 / 0sec]");
    EXPECT_EQ(player()->State(), playback::kPlaying);
    EXPECT_TRUE(controls().view->HasPicture());
  }
  Window()->Dispatch(base::kCmdPlayStop);
  ExpectIdle();
  EXPECT_TRUE(Messages().empty());
}

TEST_F(PlaybackTest, PauseAtSecondSevenOfAThirtySecondFile) {
  Start();
  Play(Video(QStringLiteral("thirty.avi"), 30, 200, 1));
  ASSERT_TRUE(WaitShown(0));
  player()->UpdatePlaybackLabel();
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PLAY [0 / 30sec]");
  Advance(7.4);
  ASSERT_TRUE(WaitShown(7));
  ExpectColour(Shown(), 7);

  Window()->Dispatch(base::kCmdPausePlay);
  EXPECT_EQ(player()->State(), playback::kPaused);
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PAUSE");
  player()->UpdatePlaybackLabel();
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PAUSE [7 / 30sec]");
  Advance(5);
  player()->UpdatePlaybackLabel();
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PAUSE [7 / 30sec]");
  EXPECT_EQ(player()->ShownFrame(), 7);

  Window()->Dispatch(base::kCmdPausePlay);
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PLAY");
  Advance(1);
  ASSERT_TRUE(WaitShown(8));
  player()->UpdatePlaybackLabel();
  EXPECT_EQ(Text(base::kIdPlaybackStatus), "PLAY [8 / 30sec]");
}

TEST_F(PlaybackTest, TheEndOfAFileBringsTheLivePictureBack) {
  for (bool recording : {false, true}) {
    SCOPED_TRACE(recording);
    FixedRecording recorder(recording);
    // Start-up installs the program's hooks; the recording seen here is replaced after it.
    Start();
    app_->Seams().recording = &recorder;
    ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
    Play(Video(QStringLiteral("short.avi"), 3));
    ASSERT_TRUE(WaitShown(0));
    Advance(0.05);
    ASSERT_TRUE(WaitShown(1));
    Advance(0.06);
    ASSERT_TRUE(WaitMessages(1));
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Message");
    EXPECT_EQ(messages[0].text, "Reached End of File");
    EXPECT_EQ(messages[0].icon, base::PromptIcon::Information);
    ExpectIdle(recording ? QStringLiteral("LIVE (REC)") : QStringLiteral("LIVE"));
    ASSERT_TRUE(WaitFrames(2));
    EXPECT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
    app_->ShutDown();
    op_.calls.clear();
  }
}

TEST_F(PlaybackTest, AFileThatCannotBeShownIsReportedOnceAndLeavesNothingBehind) {
  testmedia::AviPlan noFrames;
  noFrames.segments = {{}};
  testmedia::AviPlan plan;
  plan.segments = {testmedia::MakeFrames(2, 200, 200)};
  testmedia::AviParts parts;
  Bytes noSize = BuildAvi(plan, &parts);
  noSize[parts.strf + 12] = 0;
  noSize[parts.strf + 13] = 0;
  Bytes notJpeg = BuildAvi(plan, &parts);
  std::copy_n("H264", 4, notJpeg.begin() + long(parts.strf + 24));
  Bytes lyingBmp = testmedia::BuildBmp(200, 200, 24, false, testmedia::Pattern);
  lyingBmp[22] = 0xFF;  // taller than the file
  const std::pair<const char*, Bytes> files[] = {
      {"empty.avi", {}},      {"text.avi", Bytes(300, 'x')}, {"noframes.avi", BuildAvi(noFrames)},
      {"nosize.avi", noSize}, {"h264.avi", notJpeg},         {"lying.bmp", lyingBmp},
  };
  Start();
  const QString good = Video(QStringLiteral("good.avi"), 3);
  std::vector<QString> paths = {dir_.filePath(QStringLiteral("missing.avi"))};
  for (const auto& [name, bytes] : files) paths.push_back(Write(QString::fromLatin1(name), bytes));
  for (const QString& path : paths) {
    SCOPED_TRACE(path.toStdString());
    op_.calls.clear();
    Play(path);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Message");
    EXPECT_EQ(messages[0].text, "MediaPlay : File Open Error");
    EXPECT_EQ(messages[0].icon, base::PromptIcon::Error);
    ExpectIdle();

    Play(good);
    EXPECT_EQ(player()->State(), playback::kPlaying);
    ASSERT_TRUE(WaitShown(0));
    EXPECT_EQ(Messages().size(), 1u);
    Window()->Dispatch(base::kCmdPlayStop);
  }
}

TEST_F(PlaybackTest, AFileThatBreaksWhilePlayingAbortsWithOneMessage) {
  for (bool cut : {false, true}) {
    SCOPED_TRACE(cut ? "file cut while playing" : "frame that does not decode");
    Start();
    const QString path = Video(QStringLiteral("breaks.avi"), 8, 200, 30, cut ? -1 : 3);
    Play(path);
    ASSERT_TRUE(WaitShown(0));
    if (cut) {
      // Frames 0 to 2 stay in the file.
      testmedia::AviPlan plan;
      plan.segments = {testmedia::MakeFrames(8, 200, 200)};
      testmedia::AviParts parts;
      BuildAvi(plan, &parts);
      ASSERT_TRUE(QFile::resize(path, qint64(parts.frameChunks[3])));
    }
    Advance(2.5 / 30);
    ASSERT_TRUE(WaitShown(2));
    Advance(3.0 / 30);
    ASSERT_TRUE(WaitMessages(1));
    Advance(1);
    QTest::qWait(50);
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error Abort");
    EXPECT_EQ(messages[0].icon, base::PromptIcon::Error);
    // Playback is not stopped by the error; the last good frame stays.
    EXPECT_EQ(player()->State(), playback::kPlaying);
    EXPECT_EQ(player()->ShownFrame(), 2);
    ExpectColour(Shown(), 2);
    Window()->Dispatch(base::kCmdPlayStop);
    ExpectIdle();
    app_->ShutDown();
    op_.calls.clear();
  }
}

TEST_F(PlaybackTest, MenuCommandsAndPageButtonsFollowThePlayback) {
  Start();
  auto* pause =
      Page(kPicturePage)->findChild<QPushButton*>(QString::number(base::kIdPausePlayButton));
  auto* stop =
      Page(kPicturePage)->findChild<QPushButton*>(QString::number(base::kIdPlayStopButton));
  ASSERT_NE(pause, nullptr);
  ASSERT_NE(stop, nullptr);
  EXPECT_FALSE(pause->isEnabled());
  EXPECT_FALSE(stop->isEnabled());

  Window()->Dispatch(base::kCmdOpenMedia);  // cancelled
  ASSERT_EQ(op_.calls.size(), 1u);
  const base::FileRequest& request = op_.calls[0].request;
  EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::OpenFile);
  EXPECT_EQ(request.title, "Open File");
  EXPECT_EQ(request.owner, Window());
  EXPECT_EQ(request.defaultSuffix, "avi");
  EXPECT_EQ(request.directory, ".");
  EXPECT_EQ(request.filter,
            "\t\t\t\t\t\t Media File (*.avi, *.bmp) (*.avi *.bmp);;"
            "\t\t\t\t\t\t AVI File (*.avi);;\t\t\t\t\t\t BMP File (*.bmp)");
  EXPECT_EQ(player()->State(), playback::kIdle);

  QCoreApplication::processEvents();
  const QRect buttonPlace = stop->geometry();
  op_.files.push_back(Video(QStringLiteral("menu.avi"), 30));
  Window()->Dispatch(base::kCmdOpenMedia);
  EXPECT_EQ(player()->State(), playback::kPlaying);
  EXPECT_EQ(Text(base::kIdFileLabel), "menu.avi [200x200]");
  EXPECT_TRUE(pause->isEnabled());
  EXPECT_TRUE(stop->isEnabled());
  // The hidden image area keeps its place: the buttons below it stay where they were.
  QCoreApplication::processEvents();
  EXPECT_EQ(stop->geometry(), buttonPlace);
  EXPECT_EQ(controls().videoWindow->geometry(), Page(kPicturePage)->Image()->geometry());
  Window()->MenuAction(base::kCmdPausePlay)->trigger();
  EXPECT_EQ(player()->State(), playback::kPaused);
  pause->click();
  EXPECT_EQ(player()->State(), playback::kPlaying);
  Window()->MenuAction(base::kCmdPlayStop)->trigger();
  ExpectIdle();
  Window()->Dispatch(base::kCmdOpenMedia);  // cancelled: nothing starts
  EXPECT_EQ(player()->State(), playback::kIdle);
  op_.files.push_back(Video(QStringLiteral("menu.avi"), 30));
  Window()->Dispatch(base::kCmdOpenMedia);
  stop->click();
  ExpectIdle();
  EXPECT_FALSE(pause->isEnabled());
  EXPECT_FALSE(stop->isEnabled());
  // Idle, the pause command does nothing and the label timer leaves the status alone.
  Window()->Dispatch(base::kCmdPausePlay);
  player()->UpdatePlaybackLabel();
  ExpectIdle();
}

TEST_F(PlaybackTest, TheLiveViewKeepsOffThePicturePageAndFollowsTheOtherPage) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  ChooseZoom(kPicturePage, 1);
  Play(Video(QStringLiteral("live.avi"), 30));
  ASSERT_TRUE(WaitShown(0));
  QCoreApplication::processEvents();
  const int repaints = Page(kPicturePage)->Image()->Repaints();
  ASSERT_TRUE(WaitFrames(5));
  QCoreApplication::processEvents();
  EXPECT_EQ(Page(kPicturePage)->Image()->Repaints(), repaints);

  Window()->Tabs()->setCurrentIndex(kCalibrationPage);
  const int calibration = Page(kCalibrationPage)->Image()->Repaints();
  EXPECT_TRUE(
      WaitFor([&] { return Page(kCalibrationPage)->Image()->Repaints() > calibration; }, 1000));
  EXPECT_EQ(player()->State(), playback::kPlaying);
  EXPECT_EQ(controls().view->geometry(), QRect(2, 2, 400, 400));

  // A 160K head brings its own zoom (100 %), and the picture follows.
  QELSIM_SetHead(1);
  EXPECT_TRUE(WaitFor([&] { return controls().view->geometry() == QRect(1, 1, 200, 200); }, 2000));
}

TEST_F(PlaybackTest, PlayOptionOpensAFileAtStartUpAndTheScreenshotShowsIt) {
  // One frame a second: the first one is still shown when the screenshot is taken.
  const QString path = Video(QStringLiteral("start.avi"), 30, 200, 1);
  struct Line {
    QStringList arguments;
    QString play;
    bool error;
  };
  const Line lines[] = {
      {{"QEL_Viewer", "--play", path}, path, false},
      {{"QEL_Viewer", "--play=" + path}, path, false},
      {{"QEL_Viewer", "--play"}, {}, true},
      {{"QEL_Viewer", "--play="}, {}, true},
  };
  for (const Line& line : lines) {
    const shell::Options options = shell::ParseOptions(line.arguments);
    EXPECT_EQ(options.play, line.play) << line.arguments.join(' ').toStdString();
    EXPECT_EQ(!options.error.isEmpty(), line.error) << line.arguments.join(' ').toStdString();
  }

  shell::Options options;
  options.simulate = true;
  options.play = path;
  options.screenshot = dir_.filePath(QStringLiteral("shot.png"));
  shell::Application viewer(op_);
  EXPECT_EQ(viewer.Run(options), 0);
  const QImage shot(options.screenshot);
  ASSERT_FALSE(shot.isNull());
  // Somewhere on it, the first frame's colour.
  const testmedia::Rgb c = testmedia::FrameColour(0);
  bool found = false;
  for (int y = 0; y < shot.height() && !found; y += 4) {
    for (int x = 0; x < shot.width() && !found; x += 4) {
      const QRgb p = shot.pixel(x, y);
      found = std::abs(qRed(p) - c.r) <= 3 && std::abs(qGreen(p) - c.g) <= 3 &&
              std::abs(qBlue(p) - c.b) <= 3;
    }
  }
  EXPECT_TRUE(found);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(PlaybackTest, ScreenshotModeWritesTheBoxAfterTheFirstFrameOutAndEnds) {
  // Nobody can close a box in this mode: its text goes to standard error and the program ends.
  const struct {
    QString file;
    const char* box;
  } runs[] = {{Video(QStringLiteral("one.avi"), 1), "Reached End of File"},
              {Video(QStringLiteral("broken.avi"), 3, 200, 30, 1), "Error Abort"}};
  for (const auto& run : runs) {
    const QString shot = dir_.filePath(QStringLiteral("shot.png"));
    QFile::remove(shot);
    QProcess viewer;  // on the platform the suite runs on
    viewer.start(QStringLiteral(QEL_VIEWER_PATH),
                 {"--simulate", "--play", run.file, "--screenshot", shot});
    EXPECT_TRUE(viewer.waitForFinished(10000 * kSlow)) << run.box;  // else killed on leaving
    EXPECT_EQ(viewer.exitCode(), 0) << run.box;
    EXPECT_FALSE(QImage(shot).isNull()) << run.box;
    EXPECT_TRUE(viewer.readAllStandardError().contains(run.box)) << run.box;
  }
}

}  // namespace
