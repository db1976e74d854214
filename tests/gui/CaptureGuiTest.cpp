// Still capture, video capture and the settings file commands of the viewer on the simulated
// unit: dialogs, messages, controls and the files they leave.
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <atomic>
#include <fstream>
#include <numeric>

#include "tests/capture/CaptureTestSupport.h"
#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"
#include "viewer/capture/CaptureCommands.h"

namespace {

using base::PromptIcon;
using capture_test::Bytes;
using capture_test::U32;
using Kind = testing_support::ScriptedOperator::Kind;

constexpr int kStatusLabel = 9202;
constexpr int kVideoButton = 3004;

struct RefreshSpy : base::RefreshHooks {
  std::atomic<int> full{0};
  void FullRefresh() override { ++full; }
};

class CaptureGui : public ViewerTest {
 protected:
  void TearDown() override {
    capture::TheVideoCapture().SetFileLimits({});
    ViewerTest::TearDown();
  }

  // Starts the viewer with the controls a recording shows (the status label on the Picture page,
  // the Video Capture button on both) and waits for the live picture.
  void StartLive(int head = 0) {
    Start(head);
    for (int page : {kPicturePage, kCalibrationPage}) {
      if (page == kPicturePage && Control(page, kStatusLabel) == nullptr) {
        (new QLabel(QStringLiteral("LIVE"), Page(page)))->setObjectName("9202");
      }
      if (Control(page, kVideoButton) == nullptr) {
        (new QPushButton(QStringLiteral("Video Capture"), Page(page)))->setObjectName("3004");
      }
    }
    ASSERT_TRUE(WaitFor([&] { return app_->Live().display.LastFrameSide() != 0; }, 2000));
  }

  QWidget* Control(int page, int id) const {
    return Page(page)->findChild<QWidget*>(QString::number(id));
  }
  QString ControlText(int page, int id) const {
    QWidget* w = Control(page, id);
    if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
    if (auto* button = qobject_cast<QPushButton*>(w)) return button->text();
    return {};
  }
  QAction* Item(int id) const { return Window()->MenuAction(id); }

  QString Path(const QString& name) const { return dir_.path() + "/" + name; }

  // The operator answers OK to the question and chooses `file` (empty: cancels the dialog).
  void StartRecordingCommand(const QString& file) {
    op_.answers = {true};
    op_.files = {file};
    Window()->Dispatch(base::kCmdVideoCapture);
  }
  void StopRecordingCommand() {
    op_.answers = {true};
    Window()->Dispatch(base::kCmdVideoCapture);
  }

  bool Recording() const { return capture::TheVideoCapture().Recording(); }

  // A file dialog as the operator saw it; without a name pattern it proposes no name.
  static void ExpectFileDialog(const testing_support::ScriptedOperator::Call& call, Kind kind,
                               const char* title, const char* filter, const char* suffix,
                               QWidget* owner, const char* namePattern) {
    const base::FileRequest& request = call.request;
    EXPECT_EQ(call.kind, kind);
    EXPECT_EQ(request.title, title);
    EXPECT_EQ(request.filter, filter);
    EXPECT_EQ(request.defaultSuffix, suffix);
    EXPECT_EQ(request.directory, ".");
    EXPECT_EQ(request.owner, owner);
    if (namePattern == nullptr) {
      EXPECT_TRUE(request.proposedName.isEmpty());
    } else {
      EXPECT_TRUE(QRegularExpression(namePattern).match(request.proposedName).hasMatch())
          << request.proposedName.toStdString();
    }
  }

  void ExpectIdleControls() {
    EXPECT_FALSE(Recording());
    EXPECT_EQ(Item(base::kCmdVideoCapture)->text(), "Start Video Capture");
    EXPECT_TRUE(Item(base::kCmdBoundaryPixels)->isEnabled());
    EXPECT_EQ(ControlText(kPicturePage, kVideoButton), "Video Capture");
    EXPECT_EQ(ControlText(kCalibrationPage, kVideoButton), "Video Capture");
  }

  // The messages shown since the calls were last cleared.
  std::vector<testing_support::ScriptedOperator::Call> Messages() const {
    std::vector<testing_support::ScriptedOperator::Call> out;
    for (const auto& call : op_.calls) {
      if (call.kind == Kind::Message) out.push_back(call);
    }
    return out;
  }

  // Exactly one message was shown: a warning with this text, caption "Message".
  void ExpectOneWarning(const QString& text) const {
    const auto messages = Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Message");
    EXPECT_EQ(messages[0].text, text);
    EXPECT_EQ(messages[0].icon, PromptIcon::Warning);
  }

  void InstallRefreshSpy() { app_->Seams().refresh = &refreshSpy_; }

  RefreshSpy refreshSpy_;
};

// An AVI file as an independent reader sees it: frames, size and frame rate.
struct Probe {
  int frames = -1;
  std::string size;
  std::string rate;
};

Probe ProbeAvi(const QString& path) {
  Probe probe;
  int status = -1;
  const std::string out = capture_test::Run(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=width,height,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 '" +
          path.toStdString() + "'",
      &status);
  if (status != 0) return probe;
  const QRegularExpression field("^(\\w+)=(.*)$", QRegularExpression::MultilineOption);
  std::string width, height;
  for (auto it = field.globalMatch(QString::fromStdString(out)); it.hasNext();) {
    const auto m = it.next();
    const std::string key = m.captured(1).toStdString();
    const std::string value = m.captured(2).toStdString();
    if (key == "nb_read_frames") probe.frames = std::stoi(value);
    if (key == "width") width = value;
    if (key == "height") height = value;
    if (key == "r_frame_rate") probe.rate = value;
  }
  probe.size = width + "x" + height;
  return probe;
}

// "rate/100" as a reader reduces it.
std::string RateText(uint32_t hundredths) {
  const uint32_t d = std::gcd(hundredths, 100u);
  return std::to_string(hundredths / d) + "/" + std::to_string(100 / d);
}

Bytes FileBytes(const QString& path) {
  return capture_test::ReadFile(path.toStdString());
}

TEST(StillRequest, TheFrameSavedIsOneFetchedAfterTheLastRequest) {
  capture::StillRequest still;
  std::string path;
  EXPECT_FALSE(still.Take(path));
  still.Request("a.bmp");
  EXPECT_FALSE(still.Take(path));  // this frame may predate the request
  still.Request("b.bmp");          // chosen again: one still, to the second path
  EXPECT_FALSE(still.Take(path));
  EXPECT_TRUE(still.Pending());
  EXPECT_TRUE(still.Take(path));
  EXPECT_EQ(path, "b.bmp");
  EXPECT_FALSE(still.Pending());
  EXPECT_FALSE(still.Take(path));
}

TEST_F(CaptureGui, StillCaptureProposesANameAndSavesTheNextFrame) {
  struct Case {
    int head;
    bool boundary;
    int side;
    int rowBytes;
    const char* name;
  };
  for (const Case& c : {Case{0, false, 200, 600, "^40K_200x200_\\d{8}_\\d{6}\\.bmp$"},
                        Case{0, true, 202, 608, "^40K_202x202_\\d{8}_\\d{6}\\.bmp$"},
                        Case{1, false, 400, 1200, "^160K_400x400_\\d{8}_\\d{6}\\.bmp$"}}) {
    SCOPED_TRACE(c.name);
    StartLive(c.head);
    ASSERT_TRUE(WaitFor([&] { return app_->State().cisType.load() == c.head; }, 2000));
    if (c.boundary) Window()->Dispatch(base::kCmdBoundaryPixels);
    const QString path = Path(QString("still-%1.bmp").arg(c.side));
    op_.calls.clear();
    op_.files = {path};
    Window()->Dispatch(base::kCmdStillCapture);
    ASSERT_EQ(op_.calls.size(), 1u);
    ExpectFileDialog(op_.calls[0], Kind::SaveFile, "Save File", "BMP File (*.bmp)", "bmp",
                     Page(kPicturePage), c.name);

    const qint64 size = 54 + qint64(c.rowBytes) * c.side;
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(path).size() == size; }, 2000));
    const Bytes bmp = FileBytes(path);
    EXPECT_EQ(U32(bmp, 18), uint32_t(c.side));
    EXPECT_EQ(U32(bmp, 22), uint32_t(c.side));
    EXPECT_TRUE(Messages().empty());  // no message confirms a still
    app_->ShutDown();
    app_.reset();
  }
}

TEST_F(CaptureGui, ChoosingTwiceSavesOneStillToTheSecondPath) {
  StartLive();
  op_.files = {Path("first.bmp"), Path("second.bmp")};
  Window()->Dispatch(base::kCmdStillCapture);
  Window()->Dispatch(base::kCmdStillCapture);
  ASSERT_TRUE(WaitFor([&] { return QFileInfo::exists(Path("second.bmp")); }, 2000));
  ASSERT_TRUE(WaitFrames(5));
  EXPECT_FALSE(QFileInfo::exists(Path("first.bmp")));
  EXPECT_FALSE(capture::TheCaptureCommands().Still().Pending());
}

TEST_F(CaptureGui, AStillThatCannotBeWrittenIsReported) {
  StartLive();
  const QString path = Path("missing-directory/still.bmp");
  op_.files = {path};
  Window()->Dispatch(base::kCmdStillCapture);
  ASSERT_TRUE(WaitFor([&] { return !Messages().empty(); }, 2000));
  ExpectOneWarning("Still Capture : Write Error!\n" + path);
}

TEST_F(CaptureGui, VideoCaptureRecordsWithItsControlsUntilStopped) {
  StartLive();
  const QString path = Path("video.avi");
  op_.calls.clear();
  StartRecordingCommand(path);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[0].kind, Kind::Ask);
  EXPECT_EQ(op_.calls[0].caption, "Message");
  EXPECT_EQ(op_.calls[0].text, "Start Video Capture");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::Information);
  ExpectFileDialog(op_.calls[1], Kind::SaveFile, "Save File", "AVI File (*.avi)", "avi",
                   Page(kPicturePage), "^40K_200x200_\\d{8}_\\d{6}\\.avi$");

  ASSERT_TRUE(Recording());
  EXPECT_EQ(Item(base::kCmdVideoCapture)->text(), "Stop Video Capture");
  EXPECT_FALSE(Item(base::kCmdBoundaryPixels)->isEnabled());
  EXPECT_EQ(ControlText(kPicturePage, kStatusLabel), "LIVE (REC)");
  EXPECT_EQ(ControlText(kPicturePage, kVideoButton), "Stop Capture");
  EXPECT_EQ(ControlText(kCalibrationPage, kVideoButton), "Stop Capture");
  EXPECT_TRUE(WaitFor(
      [&] { return ControlText(kPicturePage, kStatusLabel) == "LIVE (REC [1sec])"; }, 1500));
  EXPECT_TRUE(WaitFor(
      [&] { return ControlText(kPicturePage, kStatusLabel) == "LIVE (REC [2sec])"; }, 1500));

  op_.calls.clear();
  StopRecordingCommand();
  ASSERT_EQ(op_.calls.size(), 1u);  // the question only: a good file needs no message
  EXPECT_EQ(op_.calls[0].text, "Stop Video Capture");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::Information);
  ExpectIdleControls();
  EXPECT_EQ(ControlText(kPicturePage, kStatusLabel), "LIVE");

  const capture::VideoFile& file = capture::TheVideoCapture().LastRecorder().File();
  const Bytes avi = FileBytes(path);
  ASSERT_GT(file.Frames(), 20);
  EXPECT_EQ(U32(avi, 140), uint32_t(file.Frames()));
  ASSERT_TRUE(file.WrittenRate().has_value());
  EXPECT_EQ(U32(avi, 132), *file.WrittenRate());
  EXPECT_EQ(U32(avi, 128), 100u);
  const Probe probe = ProbeAvi(path);
  EXPECT_EQ(probe.frames, file.Frames());
  EXPECT_EQ(probe.size, "200x200");
  EXPECT_EQ(probe.rate, RateText(*file.WrittenRate()));
}

TEST_F(CaptureGui, TenSecondsAtThirtyFramesPerSecondMeasureThirty) {
  StartLive();
  const QString path = Path("ten-seconds.avi");
  StartRecordingCommand(path);
  ASSERT_TRUE(Recording());
  QTest::qWait(10000);
  StopRecordingCommand();
  ExpectIdleControls();
  const capture::VideoFile& file = capture::TheVideoCapture().LastRecorder().File();
  ASSERT_TRUE(file.WrittenRate().has_value());
  RecordProperty("frames", file.Frames());
  RecordProperty("rate_hundredths", int(*file.WrittenRate()));
  if (kSlow == 1) {
    EXPECT_NEAR(file.Frames(), 300, 9);
    EXPECT_NEAR(*file.WrittenRate(), 3000, 30);  // within 1 % of 30.00
  } else {
    EXPECT_GT(file.Frames(), 100);  // sanitizers slow the viewer down; frames are dropped
  }
  const Probe probe = ProbeAvi(path);
  EXPECT_EQ(probe.frames, file.Frames());
  EXPECT_EQ(probe.rate, RateText(*file.WrittenRate()));
}

TEST_F(CaptureGui, CancellingTheQuestionOrTheDialogChangesNothing) {
  StartLive();
  // No at the question: no dialog.
  op_.answers = {false};
  Window()->Dispatch(base::kCmdVideoCapture);
  ASSERT_EQ(op_.calls.size(), 1u);
  // Cancelled dialog: no recording, no thread, no file.
  op_.calls.clear();
  StartRecordingCommand(QString());
  EXPECT_EQ(op_.calls.size(), 2u);
  ExpectIdleControls();
  EXPECT_EQ(ControlText(kPicturePage, kStatusLabel), "LIVE");
  EXPECT_FALSE(capture::TheVideoCapture().LastRecorder().Running());
  EXPECT_TRUE(QDir(dir_.path()).entryList({"*.avi"}).isEmpty());

  // Cancel at the stop question: the recording goes on.
  StartRecordingCommand(Path("goes-on.avi"));
  ASSERT_TRUE(Recording());
  op_.answers = {false};
  Window()->Dispatch(base::kCmdVideoCapture);
  EXPECT_TRUE(Recording());
  EXPECT_TRUE(capture::TheVideoCapture().LastRecorder().Running());
  StopRecordingCommand();
  ExpectIdleControls();
}

TEST_F(CaptureGui, StoppedBeforeAnyFrameTheFileKeepsTheNominalRateAndHasNoIndex) {
  StartLive();
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  const QString path = Path("empty.avi");
  op_.files = {path};
  ASSERT_TRUE(capture::TheVideoCapture().StartRecording());
  QTest::qWait(300);
  capture::TheVideoCapture().StopAndResetControls();
  ExpectIdleControls();
  const Bytes avi = FileBytes(path);
  ASSERT_EQ(avi.size(), 1324u);
  EXPECT_EQ(U32(avi, 132), 120u);
  EXPECT_EQ(U32(avi, 128), 1u);
  EXPECT_EQ(U32(avi, 224), 0u);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptureGui, StartingWhileRecordingFinishesTheFirstFile) {
  StartLive();
  const QString first = Path("first.avi");
  const QString second = Path("second.avi");
  op_.files = {first, second};
  ASSERT_TRUE(capture::TheVideoCapture().StartRecording());
  ASSERT_TRUE(WaitFrames(10));
  ASSERT_TRUE(capture::TheVideoCapture().StartRecording());
  // The first file is complete the moment the second recording runs.
  const Bytes avi = FileBytes(first);
  ASSERT_GT(avi.size(), 1324u);
  EXPECT_EQ(U32(avi, 4), avi.size() - 8);
  EXPECT_GT(U32(avi, 140), 0u);
  EXPECT_EQ(U32(avi, 224), 1u);
  EXPECT_TRUE(Recording());
  EXPECT_EQ(Item(base::kCmdVideoCapture)->text(), "Stop Video Capture");
  ASSERT_TRUE(WaitFrames(10));
  StopRecordingCommand();
  EXPECT_GT(U32(FileBytes(second), 140), 0u);
}

TEST_F(CaptureGui, UnpluggingDuringARecordingLeavesACompleteReadableFile) {
  StartLive();
  const QString path = Path("unplugged.avi");
  StartRecordingCommand(path);
  ASSERT_TRUE(WaitFrames(15));
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  QTest::qWait(300);
  EXPECT_TRUE(Recording());
  StopRecordingCommand();
  ExpectIdleControls();
  const capture::VideoFile& file = capture::TheVideoCapture().LastRecorder().File();
  EXPECT_GE(file.Frames(), 10);
  EXPECT_EQ(U32(FileBytes(path), 140), uint32_t(file.Frames()));
  EXPECT_EQ(ProbeAvi(path).frames, file.Frames());
}

TEST_F(CaptureGui, AHeadChangeEndsTheRecording) {
  StartLive();
  const QString path = Path("head-change.avi");
  StartRecordingCommand(path);
  ASSERT_TRUE(WaitFrames(10));
  QELSIM_SetHead(1);
  ASSERT_TRUE(WaitFor([&] { return !Recording(); }, 3000));
  ExpectIdleControls();
  const capture::VideoFile& file = capture::TheVideoCapture().LastRecorder().File();
  const Probe probe = ProbeAvi(path);
  EXPECT_EQ(probe.frames, file.Frames());
  EXPECT_EQ(probe.size, "200x200");  // no frame of the new head got in
}

TEST_F(CaptureGui, RecordingsThatEndByThemselvesTellTheOperatorWhy) {
  struct Case {
    const char* end;
    capture::SegmentLimits limits;
    rlim_t room;
    const char* text;
  };
  const Case cases[] = {
      {"file full",
       {12, capture::avi::kMaxSegmentBytes},
       RLIM_INFINITY,
       "Video Capture : File Size Limit Reached.\nRecording Stopped.\n"},
      {"disk full", {}, 60000, "Video Capture : Write Error!\n"},  // the indexes do not fit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.end);
    StartLive();
    capture::TheVideoCapture().SetFileLimits(c.limits);
    const QString path = Path(QString("%1.avi").arg(c.end));
    op_.calls.clear();
    {
      const capture_test::FileSizeLimit disk(c.room);
      StartRecordingCommand(path);
      ASSERT_TRUE(Recording());
      ASSERT_TRUE(WaitFor([&] { return !Recording(); }, 5000));
    }
    ExpectIdleControls();
    ExpectOneWarning(c.text + path);
    // At the file limit the file is complete: the frames that fitted, both indexes.
    if (c.room == RLIM_INFINITY) {
      const Bytes avi = FileBytes(path);
      EXPECT_EQ(U32(avi, 4), avi.size() - 8);
      EXPECT_EQ(U32(avi, 140), 12u);
      EXPECT_EQ(ProbeAvi(path).frames, 12);
    }
    app_->ShutDown();
    app_.reset();
  }
}

TEST_F(CaptureGui, AFileThatCannotBeCreatedIsReportedAndNothingRecords) {
  StartLive();
  const QString path = Path("missing-directory/video.avi");
  op_.calls.clear();
  StartRecordingCommand(path);
  ExpectIdleControls();
  EXPECT_FALSE(capture::TheVideoCapture().LastRecorder().Running());
  ExpectOneWarning("Video Capture : Cannot Create File!\n" + path);
}

TEST_F(CaptureGui, VideoCaptureRefusesWithoutACamera) {
  StartLive();
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  op_.calls.clear();
  Window()->Dispatch(base::kCmdVideoCapture);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].kind, Kind::Message);
  EXPECT_EQ(op_.calls[0].caption, "Message");
  EXPECT_EQ(op_.calls[0].text, "No Connected Camera!");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::Warning);
  EXPECT_FALSE(Recording());
}

TEST_F(CaptureGui, SettingsFileCommandsWithTheirDialogsAndMessages) {
  StartLive();
  InstallRefreshSpy();  // after start-up, which installs the program's own
  ASSERT_EQ(QEL_Set_BlackLevel(33), 0);
  const QString path = Path("params.qel");

  op_.calls.clear();
  op_.files = {path};
  Window()->Dispatch(base::kCmdSaveSettings);
  ASSERT_EQ(op_.calls.size(), 2u);
  ExpectFileDialog(op_.calls[0], Kind::SaveFile, "Save File", "QEL Setting Data (*.qel)", "qel",
                   Window(), "^40K_\\d{8}_\\d{6}\\.qel$");
  EXPECT_EQ(op_.calls[1].text, "Save Parameter[40K] : Complete.");
  EXPECT_EQ(op_.calls[1].icon, PromptIcon::Information);

  // Loaded back: the unit gets the file's values, then the pages refresh, then the message.
  ASSERT_EQ(QEL_Set_BlackLevel(44), 0);
  op_.calls.clear();
  op_.files = {path};
  const int refreshes = refreshSpy_.full.load();
  Window()->Dispatch(base::kCmdLoadSettings);
  ASSERT_EQ(op_.calls.size(), 2u);
  ExpectFileDialog(op_.calls[0], Kind::OpenFile, "Open File", "QEL Setting Data (*.qel)", "qel",
                   Window(), nullptr);
  EXPECT_EQ(op_.calls[1].text, "Load Parameter[40K] : Complete.");
  EXPECT_EQ(op_.calls[1].icon, PromptIcon::Information);
  EXPECT_EQ(refreshSpy_.full.load(), refreshes + 1);
  int black = 0;
  ASSERT_EQ(QEL_Get_BlackLevel(&black), 0);
  EXPECT_EQ(black, 33);

  // Not a settings file: nothing reaches the unit (seen through its value), no refresh.
  { std::ofstream(Path("other.qel").toStdString()) << "#QEL_Setting_Data_\n1\t\t//x\n"; }
  op_.calls.clear();
  op_.files = {Path("other.qel")};
  Window()->Dispatch(base::kCmdLoadSettings);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[1].text,
            "Load Parameter[40K] : Error!\n"
            "line 1 is not \"#QEL_Setting_Data_(Do_not_edit_manually)\"");
  EXPECT_EQ(op_.calls[1].icon, PromptIcon::Warning);
  EXPECT_EQ(refreshSpy_.full.load(), refreshes + 1);
  ASSERT_EQ(QEL_Get_BlackLevel(&black), 0);
  EXPECT_EQ(black, 33);

  // Out of range: refused whole, nothing sent. A load with a failed setter: the pages follow.
  std::ifstream saved(QFile::encodeName(path).toStdString(), std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(saved), {});
  text.replace(text.find("\n33\t\t//BlackLevel") + 1, 2, "70000");
  std::ofstream(Path("range.qel").toStdString(), std::ios::binary) << text << std::flush;
  sim::Unit::Instance().FailControl(5, 1, 0x19);
  op_.calls.clear();
  op_.files = {Path("range.qel"), path};
  Window()->Dispatch(base::kCmdLoadSettings);
  EXPECT_EQ(refreshSpy_.full.load(), refreshes + 1);
  Window()->Dispatch(base::kCmdLoadSettings);
  EXPECT_EQ(refreshSpy_.full.load(), refreshes + 2);
  ASSERT_EQ(op_.calls.size(), 4u);
  EXPECT_EQ(op_.calls[1].text,
            "Load Parameter[40K] : Error!\n"
            "line 4 (//BlackLevel): '70000' is outside 0..255 with a 40K head");
  EXPECT_EQ(op_.calls[3].text, "Load Parameter[40K] : Error!");

  // A file that cannot be written.
  op_.calls.clear();
  op_.files = {Path("missing-directory/params.qel")};
  Window()->Dispatch(base::kCmdSaveSettings);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[1].text, "Save Parameter[40K] : Error!");
  EXPECT_EQ(op_.calls[1].icon, PromptIcon::Warning);

  // Cancelled dialogs end silently.
  op_.calls.clear();
  Window()->Dispatch(base::kCmdSaveSettings);
  Window()->Dispatch(base::kCmdLoadSettings);
  EXPECT_EQ(op_.calls.size(), 2u);
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CaptureGui, SettingsMessagesNameThe160KHead) {
  StartLive(1);
  ASSERT_TRUE(WaitFor([&] { return app_->State().cisType.load() == 1; }, 2000));
  op_.files = {Path("params.qel")};
  Window()->Dispatch(base::kCmdSaveSettings);
  {
    std::ofstream(Path("short.qel").toStdString()) << "#QEL_Setting_Data_(Do_not_edit_manually)\n";
  }
  op_.files = {Path("short.qel")};
  Window()->Dispatch(base::kCmdLoadSettings);
  const auto messages = Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].text, "Save Parameter[160K] : Complete.");
  EXPECT_EQ(messages[1].text,
            "Load Parameter[160K] : Error!\nthe file ends before the value of //ControlMode1");
  EXPECT_TRUE(QRegularExpression("^160K_\\d{8}_\\d{6}\\.qel$")
                  .match(op_.calls[0].request.proposedName)
                  .hasMatch());
}

}  // namespace
