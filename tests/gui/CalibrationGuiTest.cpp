// The Calibration page's tools in the running viewer on the simulated unit: CSV runs from the
// page and the menu, their end and their abort, defect pixel detection, tables and overlay, and
// the gamma buttons, driven through the widgets and answered by a scripted operator.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "QEL_API.h"
#include "sim/SimScene.h"
#include "tests/calibration/CsvText.h"
#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"
#include "viewer/calibration/CalibrationCommands.h"

// Texts in failure messages.
void PrintTo(const QString& text, std::ostream* os) {
  *os << '"' << text.toStdString() << '"';
}

namespace {

using testing_support::ScriptedOperator;

constexpr uint8_t kEepromWrite = 0x17;
constexpr uint8_t kRegWrite = 0x19;
constexpr QRgb kBlack = 0xFF000000;
constexpr QRgb kYellow = 0xFFFFFF00;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kBlue = 0xFF0000FF;

// Between the display thread and the CSV run: the sequence number the simulated unit stamps
// into every frame (first word of the second pixel), for each frame a running CSV run took.
class CsvFrameRecorder : public live::FrameSink {
 public:
  live::FrameSink* inner = nullptr;

  void Take(const live::CheckedFrame& frame) override {
    const bool taken = calibration::TheCalibrationCommands().CsvExportActive();
    inner->Take(frame);
    if (!taken) return;
    std::lock_guard<std::mutex> lock(mutex_);
    stamps_.push_back((frame.data[4] | frame.data[5] << 8) >> 4);
  }
  std::vector<int> Stamps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stamps_;
  }

 private:
  std::mutex mutex_;
  std::vector<int> stamps_;
};

class CalibrationTest : public ViewerTest {
 protected:
  template <typename T>
  T* Control(int id) {
    T* control = Page(kCalibrationPage)->findChild<T*>(QString::number(id));
    EXPECT_NE(control, nullptr) << id;
    return control;
  }
  void ShowCalibration() {
    Window()->Tabs()->setCurrentIndex(kCalibrationPage);
    // Frames that left the unit before the switch to raw data are drawn by then.
    ASSERT_TRUE(WaitFrames(3));
  }
  void Click(int id) { Control<QPushButton>(id)->click(); }
  void Choose(int id, int position) {
    auto* list = Control<QComboBox>(id);
    list->setCurrentIndex(position);
    emit list->activated(position);
  }
  void SetFrameCount(int frames) {
    QLineEdit* edit = Control<QLineEdit>(9606);
    edit->setText(QString::number(frames));
    emit edit->textEdited(edit->text());
  }
  QString Progress() { return Control<QLabel>(9609)->text(); }
  QString List() { return Control<QPlainTextEdit>(2001)->toPlainText(); }
  QAction* CsvMenu() { return Window()->MenuAction(base::kCmdSaveCsv); }
  bool CsvControlsEnabled() {
    return Control<QWidget>(9603)->isEnabled() && Control<QWidget>(9606)->isEnabled() &&
           Control<QWidget>(9605)->isEnabled();
  }
  bool CsvControlsDisabled() {
    return !Control<QWidget>(9603)->isEnabled() && !Control<QWidget>(9606)->isEnabled() &&
           !Control<QWidget>(9605)->isEnabled();
  }
  // Files of a run, in name order.
  QStringList RunFiles(const QString& stem) {
    return QDir(dir_.path()).entryList({stem + QStringLiteral("_*.csv")}, QDir::Files, QDir::Name);
  }
  // The texts of the message boxes shown since the last call.
  std::vector<QString> Messages() {
    std::vector<QString> texts;
    for (const ScriptedOperator::Call& call : op_.calls) {
      if (call.kind != ScriptedOperator::Kind::Message) continue;
      EXPECT_EQ(call.caption, "info") << call.text.toStdString();
      texts.push_back(call.text);
    }
    op_.calls.clear();
    return texts;
  }
  void WaitHeadType(int cisType) {
    ASSERT_TRUE(WaitFor([&] { return app_->State().lastCisType.load() == cisType; }, 2000));
    QTest::qWait(50);
  }
  // The display thread taken down while the CSV sink is swapped, so that it never sees the
  // swap half done.
  void RecordCsvFrames() {
    app_->Live().display.Stop();
    recorder_.inner = &calibration::TheCalibrationCommands();
    app_->Live().display.Sinks().Replace(calibration::TheCalibrationCommands(), recorder_);
    app_->Live().display.Start();
  }

  CsvFrameRecorder recorder_;  // outlives the viewer, which may still hand it frames
};

std::string ReadAll(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::vector<int>> ReadCsv(const QString& path) {
  return caltest::CsvRows(ReadAll(path));
}

// The list after a detection of the simulated head's stuck pixels of one kind, in scan order.
QString StuckList(int cisType, bool bright) {
  std::vector<sim::StuckPixel> pixels;
  for (const sim::StuckPixel& p : sim::StuckPixels(cisType)) {
    if (p.bright == bright) pixels.push_back(p);
  }
  std::sort(pixels.begin(), pixels.end(),
            [](const auto& a, const auto& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  QString text = QStringLiteral("%1 (%2)\n--------------------\n")
                     .arg(bright ? "Bright" : "Dark")
                     .arg(pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i) {
    text += QStringLiteral("%1 : (%2,%3) Val = %4\n")
                .arg(i + 1)
                .arg(pixels[i].x)
                .arg(pixels[i].y)
                .arg(bright ? 255 : 0);
  }
  return text;
}

TEST_F(CalibrationTest, CsvRunWritesItsFilesAndEndsWithTheCompletionText) {
  Start();
  ShowCalibration();
  const struct {
    int cisType;
    bool boundary;
    int frames;
    int side;
    int first;  // frame row and column of the file's first value
  } cases[] = {{0, false, 1, 200, 1}, {0, true, 3, 202, 0}, {1, false, 2, 400, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cisType << " " << c.boundary);
    if (app_->State().cisType.load() != c.cisType) {
      QELSIM_SetHead(c.cisType);
      WaitHeadType(c.cisType);
      ASSERT_TRUE(WaitFrames(3));
    }
    if (app_->State().showBoundaryPixels.load() != c.boundary) {
      Window()->Dispatch(base::kCmdBoundaryPixels);
    }
    SetFrameCount(c.frames);
    const QString stem = QStringLiteral("run%1%2").arg(c.cisType).arg(c.boundary);
    op_.calls.clear();
    op_.files.push_back(dir_.filePath(stem + ".csv"));
    Click(9603);

    ASSERT_EQ(op_.calls.size(), 1u);
    const base::FileRequest& request = op_.calls[0].request;
    EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::SaveFile);
    EXPECT_EQ(request.title, "Save File");
    EXPECT_EQ(request.filter, "CSV File (*.csv)");
    EXPECT_EQ(request.defaultSuffix, "csv");
    EXPECT_EQ(request.directory, ".");
    const QString size = QStringLiteral("_%1x%1_").arg(c.side);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^(40K|160K)") + size + "\\d{8}_\\d{6}\\.csv$")
                    .match(request.proposedName)
                    .hasMatch())
        << request.proposedName.toStdString();
    EXPECT_TRUE(CsvControlsDisabled());
    EXPECT_FALSE(CsvMenu()->isEnabled());

    // The label keeps the text of the run before until this one ends.
    ASSERT_TRUE(WaitFor([&] { return CsvControlsEnabled(); }, 3000));
    EXPECT_EQ(Progress(), " CSV File Save Complete!");
    EXPECT_TRUE(CsvMenu()->isEnabled());
    QStringList expected;
    for (int i = 1; i <= c.frames; ++i)
      expected << stem + QStringLiteral("_%1.csv").arg(i, 3, 10, QChar('0'));
    ASSERT_EQ(RunFiles(stem), expected);
    for (const QString& name : expected) {
      const auto rows = ReadCsv(dir_.filePath(name));
      ASSERT_EQ(rows.size(), size_t(c.side)) << name.toStdString();
      for (const auto& row : rows) ASSERT_EQ(row.size(), size_t(c.side));
      // Raw data: the stuck pixels show at their levels.
      for (const sim::StuckPixel& p : sim::StuckPixels(c.cisType)) {
        EXPECT_EQ(rows[size_t(p.y - c.first)][size_t(p.x - c.first)], p.bright ? 1023 : 0);
      }
    }
    EXPECT_TRUE(Messages().empty());
  }
}

// One file per frame the display thread fetched: the files of a run hold frames that followed
// each other on the bus.
TEST_F(CalibrationTest, CsvRunTakesConsecutiveFrames) {
  QELSIM_SetFrameRate(15000);
  Start();
  ShowCalibration();
  RecordCsvFrames();
  ASSERT_TRUE(WaitFrames(2));
  SetFrameCount(6);
  op_.files.push_back(dir_.filePath("seq.csv"));
  Window()->Dispatch(base::kCmdSaveCsv);  // the menu item
  ASSERT_TRUE(WaitFor([&] { return Progress() == " CSV File Save Complete!"; }, 3000));
  EXPECT_EQ(RunFiles("seq").size(), 6u);
  const std::vector<int> stamps = recorder_.Stamps();
  ASSERT_EQ(stamps.size(), 6u);
  for (size_t i = 1; i < stamps.size(); ++i) {
    EXPECT_EQ(stamps[i], (stamps[i - 1] + 1) & 0xFFF) << i;
  }
}

TEST_F(CalibrationTest, LeavingThePageAbortsTheRunAndKeepsItsFiles) {
  QELSIM_SetFrameRate(5000);
  Start();
  ShowCalibration();
  SetFrameCount(100);
  op_.files.push_back(dir_.filePath("long.csv"));
  Click(9603);
  ASSERT_TRUE(WaitFor([&] { return RunFiles("long").size() >= 2; }, 3000));

  op_.calls.clear();
  Window()->Tabs()->setCurrentIndex(kPicturePage);
  const int written = RunFiles("long").size();
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].caption, "info");
  EXPECT_EQ(op_.calls[0].text, "CSV File Save Aborted.");
  EXPECT_EQ(op_.calls[0].icon, base::PromptIcon::Warning);
  EXPECT_TRUE(CsvControlsEnabled());
  EXPECT_FALSE(CsvMenu()->isEnabled()) << "grey while the Picture page is shown";
  EXPECT_EQ(sim::Unit::Instance().DataFormat(), 0);

  ASSERT_TRUE(WaitFrames(3));
  QStringList expected;
  for (int i = 1; i <= written; ++i)
    expected << QStringLiteral("long_%1.csv").arg(i, 3, 10, QChar('0'));
  EXPECT_EQ(RunFiles("long"), expected) << "the files written stay, no more follow";

  Window()->Tabs()->setCurrentIndex(kCalibrationPage);
  EXPECT_TRUE(CsvMenu()->isEnabled());
  EXPECT_EQ(Progress(), "");
  QTest::qWait(100);
  EXPECT_EQ(Progress(), "") << "nothing of the aborted run reaches the label";
}

TEST_F(CalibrationTest, CsvCancelAndUnwritableFiles) {
  Start();
  EXPECT_FALSE(CsvMenu()->isEnabled()) << "the Picture page is shown";
  ShowCalibration();
  EXPECT_TRUE(CsvMenu()->isEnabled());

  Click(9603);  // the operator cancels the dialog
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_TRUE(CsvControlsEnabled());
  EXPECT_FALSE(app_->Seams().calibration->CsvExportActive());

  SetFrameCount(5);
  op_.files.push_back(dir_.filePath("missing/x.csv"));
  Click(9603);
  EXPECT_TRUE(CsvControlsDisabled());
  ASSERT_TRUE(WaitFor([&] { return Progress() == "CSV File Save Error!"; }, 3000));
  EXPECT_TRUE(CsvControlsEnabled());
  EXPECT_TRUE(CsvMenu()->isEnabled());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(CalibrationTest, DetectionFindsTheStuckPixelsAndCorrectionHidesThem) {
  Start();
  ShowCalibration();
  sim::Unit& unit = sim::Unit::Instance();
  const sim::StuckPixel dark = [] {
    for (const sim::StuckPixel& p : sim::StuckPixels(0)) {
      if (!p.bright) return p;
    }
    return sim::StuckPixel{};
  }();
  Control<QSlider>(7007)->setValue(64);  // threshold
  Click(3013);
  EXPECT_EQ(List(), StuckList(0, false));
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(Picture(kCalibrationPage).pixel(dark.x, dark.y), kBlack);

  unit.SetLogging(true);
  Click(3014);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table upload complete"});
  std::vector<uint16_t> written;
  for (const sim::TransferRecord& r : unit.Log()) {
    if (r.setup.request == kRegWrite) written.push_back(r.setup.index);
  }
  ASSERT_FALSE(written.empty());
  EXPECT_EQ(written.front(), 0x100) << "the dark table";
  Choose(5003, 1);  // "Defect Pixel Corr." on
  EXPECT_TRUE(
      WaitFor([&] { return Picture(kCalibrationPage).pixel(dark.x, dark.y) != kBlack; }, 2000));
  Click(3013);
  EXPECT_EQ(List(), "Dark (0)\n--------------------\n");

  Choose(5004, 1);  // bright: their table is still empty
  Control<QSlider>(7007)->setValue(224);
  Click(3013);
  EXPECT_EQ(List(), StuckList(0, true));
}

TEST_F(CalibrationTest, TableButtonsOnTheUnitAndTheHeadWithEveryMessage) {
  Start();
  ShowCalibration();
  Control<QSlider>(7007)->setValue(64);
  Click(3013);
  Click(3014);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table upload complete"});
  Click(3017);  // clear: the unit's dark table and the page's
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table clear complete"});
  EXPECT_EQ(List(), "Dark (0)\n--------------------\n");
  Click(3015);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table download complete"});
  EXPECT_EQ(List(), "Dark (0)\n--------------------\n");

  Click(3013);
  Click(3014);
  Messages();
  Click(3015);  // download: the list without the levels
  QString withoutLevels = StuckList(0, false);
  withoutLevels.remove(QRegularExpression(" Val = \\d+"));
  EXPECT_EQ(List(), withoutLevels);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table download complete"});
  Click(3016);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table save complete"});
  uint8_t unitTable[128];
  uint8_t headTable[128];
  ASSERT_EQ(QEL_Get_DP_Table(0, unitTable), 0);
  ASSERT_EQ(QEL_Load_CIS_DP_Table(0, headTable), 0);
  EXPECT_TRUE(std::equal(std::begin(unitTable), std::end(unitTable), headTable));

  // A frame that fails its check leaves the list as it is.
  sim::Unit::Instance().SetWrongMarkers(true);
  Click(3013);
  EXPECT_EQ(Messages(), std::vector<QString>{"capture data error"});
  EXPECT_EQ(List(), withoutLevels);
  sim::Unit::Instance().SetWrongMarkers(false);

  // A head EEPROM that takes no writes.
  sim::Unit::Instance().FailControl(0, -1, kEepromWrite);
  Click(3016);
  EXPECT_EQ(Messages(), std::vector<QString>{"Defect Pixel Table save error"});
  sim::Unit::Instance().ClearFaults();

  // Without the unit every transfer fails, and no fresh frame comes. ("Save" to the head follows
  // the head EEPROM's state in the Camera Info refresh.)
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor(
      [] {
        int status = 1;
        QEL_GetStatus(&status);
        return status == 0;
      },
      2000));
  const struct {
    int id;
    std::vector<QString> messages;
  } failures[] = {
      {3014, {"Defect Pixel Table upload error"}},
      {3015, {"Defect Pixel Table download error"}},
      {3017, {"Defect Pixel Table clear error"}},
      {3013, {"capture error"}},
  };
  for (const auto& f : failures) {
    Click(f.id);
    EXPECT_EQ(Messages(), f.messages) << f.id;
  }
  EXPECT_EQ(List(), "Dark (0)\n--------------------\n") << "the clear emptied the page's table";
}

TEST_F(CalibrationTest, DisplayDrawsTheTableAndTheExcludedCorners) {
  Start();
  ShowCalibration();
  Control<QSlider>(7007)->setValue(224);
  Choose(5004, 1);
  Click(3013);
  const sim::StuckPixel bright = [] {
    for (const sim::StuckPixel& p : sim::StuckPixels(0)) {
      if (p.bright) return p;
    }
    return sim::StuckPixel{};
  }();
  Control<QSlider>(7010)->setValue(10);  // excluded area
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_EQ(Picture(kCalibrationPage).pixel(bright.x, bright.y), kWhite);
  // The corner line from (1, 11) to (11, 1) passes (6, 6).
  EXPECT_NE(Picture(kCalibrationPage).pixel(6, 6), kBlue);

  Control<QCheckBox>(7029)->setChecked(true);
  EXPECT_TRUE(WaitFor(
      [&] {
        const QImage picture = Picture(kCalibrationPage);
        return picture.pixel(bright.x, bright.y) == kYellow && picture.pixel(6, 6) == kBlue;
      },
      2000));
  Click(3017);  // the page's table is empty again
  EXPECT_TRUE(WaitFor(
      [&] { return Picture(kCalibrationPage).pixel(bright.x, bright.y) != kYellow; }, 2000));
  Control<QCheckBox>(7029)->setChecked(false);
  EXPECT_TRUE(WaitFor([&] { return Picture(kCalibrationPage).pixel(6, 6) != kBlue; }, 2000));
}

TEST_F(CalibrationTest, HeadChangeEmptiesTheList) {
  Start();
  ShowCalibration();
  Control<QSlider>(7007)->setValue(64);
  Click(3013);
  ASSERT_NE(List(), "Dark (0)\n--------------------\n");
  QELSIM_SetHead(1);
  WaitHeadType(1);
  EXPECT_EQ(List(), "Dark (0)\n--------------------\n");
  EXPECT_EQ(calibration::TheCalibrationCommands().Defects().Snapshot(),
            calibration::ClearedDefectTable());
}

std::string GammaLines(int (*value)(int), const char* end) {
  std::string text;
  for (int i = 0; i < 1024; ++i) {
    const std::string v = std::to_string(value(i));
    text += v + "," + v + "," + v + end;
  }
  return text;
}

int GammaEntry(int table, int index) {
  uint8_t data[8192];
  if (QEL_Get_Gamma_Table(table, data) != 0) return -1;
  return data[2 * index] << 8 | data[2 * index + 1];
}

TEST_F(CalibrationTest, GammaButtonsWithTheirDialogsCursorAndMessages) {
  Start();
  ShowCalibration();
  QDir(dir_.path()).mkdir("curves");
  const QString identityPath = dir_.filePath("curves/identity.csv");
  const QString inversePath = dir_.filePath("curves/inverse.csv");
  std::ofstream(identityPath.toStdString()) << GammaLines([](int i) { return i; }, "\n");
  std::ofstream(inversePath.toStdString()) << GammaLines([](int i) { return 1023 - i; }, "\n");

  // Every transfer of the GUI thread happens under the wait cursor.
  std::atomic<int> plain{0};
  std::atomic<int> waiting{0};
  sim::Unit& unit = sim::Unit::Instance();
  unit.SetControlHook([&](const usb::SetupPacket&) {
    if (QThread::currentThread() != qApp->thread()) return;
    const QCursor* cursor = QGuiApplication::overrideCursor();
    ++(cursor != nullptr && cursor->shape() == Qt::WaitCursor ? waiting : plain);
  });

  op_.files = {identityPath};
  Click(3007);
  EXPECT_EQ(Messages(), std::vector<QString>{"Gamma upload complete"});
  op_.files = {dir_.filePath("out.csv")};
  Click(3008);
  EXPECT_EQ(Messages(), std::vector<QString>{"Gamma download complete"});
  unit.SetControlHook(nullptr);
  // Each table is 128 transfers of 64 bytes, sent and read back.
  EXPECT_EQ(waiting.load(), 3 * 128 * 2);
  EXPECT_EQ(plain.load(), 0);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(GammaEntry(2, 4 * 300 + 3), 4 * 300);
  EXPECT_EQ(ReadAll(dir_.filePath("out.csv")), GammaLines([](int i) { return i; }, "\r\n"));

  // The dialogs come back where the last chosen files were; cancelling says so.
  op_.calls.clear();
  Click(3007);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::OpenFile);
  EXPECT_EQ(QDir(op_.calls[0].request.directory), QDir(dir_.filePath("curves")));
  EXPECT_EQ(op_.calls[0].request.proposedName, "");
  EXPECT_EQ(op_.calls[1].text, "Gamma upload cancel");
  op_.calls.clear();
  Click(3008);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::SaveFile);
  EXPECT_EQ(QDir(op_.calls[0].request.directory), QDir(dir_.path()));
  EXPECT_EQ(op_.calls[0].request.proposedName, "out.csv");
  EXPECT_EQ(op_.calls[1].text, "Gamma download cancel");
  op_.calls.clear();

  // A failure at table 1: table 0 already holds the new curve, table 1 the old one.
  unit.FailControl(128, 1, kRegWrite);
  op_.files = {inversePath};
  Click(3007);
  EXPECT_EQ(Messages(), std::vector<QString>{"Gamma(1) upload error"});
  EXPECT_EQ(GammaEntry(0, 0), 4 * 1023);
  EXPECT_EQ(GammaEntry(1, 0), 0);
  unit.ClearFaults();

  Click(3009);
  EXPECT_EQ(Messages(), std::vector<QString>{"Gamma save complete"});
  Click(3010);
  EXPECT_EQ(Messages(), std::vector<QString>{"Gamma clear complete"});
  EXPECT_EQ(GammaEntry(0, 4095), 4095);
  EXPECT_EQ(GammaEntry(1, 1), 1);
}

}  // namespace
