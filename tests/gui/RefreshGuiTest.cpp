// The whole viewer on the simulated unit with the program's refreshes and EEPROM commands: the
// unit's values and the head's records on both pages, through unplugging, head changes and the
// menu, and the controls dump of the command line.
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QSlider>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"

namespace {

using nlohmann::json;

const QString kSerial = QStringLiteral("E2E-\u00E9");

class RefreshGuiTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    // A head with records of its own, so nothing here comes from the simulated unit's samples.
    std::vector<uint8_t> head(0x480, 0xFF);
    const uint8_t header[] = {'Q', 'E', 'L', 0, 1, 0, 0};
    std::copy(std::begin(header), std::end(header), head.begin());
    std::fill_n(head.begin() + 0x10, 14, 0);
    // The serial number is bytes, one Latin-1 character each, as the page writes it.
    const std::string serial = "E2E-\xE9";
    std::copy(serial.begin(), serial.end(), head.begin() + 0x10);
    head[0x20] = 12;  // usage count
    head[0x24] = 90;  // upper limit
    std::fill_n(head.begin() + 0x30, 6, 0);
    ASSERT_TRUE(sim::Unit::Instance().PreloadEeprom(1, head));
    sim::Unit::Instance().SetRegister(0x02, 77);  // black level
  }

  template <typename T>
  T* Control(int page, int id) {
    return Page(page)->findChild<T*>(QString::number(id));
  }
  bool BothPagesShow(int valueId, const QString& text) {
    return Page(kPicturePage)->CameraInfo(valueId) == text &&
           Page(kCalibrationPage)->CameraInfo(valueId) == text;
  }
  bool SlidersShow(int id, int value) {
    return Control<QSlider>(kPicturePage, id)->value() == value &&
           Control<QSlider>(kCalibrationPage, id)->value() == value;
  }
};

TEST_F(RefreshGuiTest, UnitValuesAndHeadRecordsShowOnBothPagesAndComeBackAfterAReplug) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return BothPagesShow(9102, kSerial); }, 2000));
  EXPECT_EQ(Window()->windowTitle(), "QEL_Viewer [40K]");
  EXPECT_TRUE(BothPagesShow(9101, "Yes"));
  EXPECT_TRUE(BothPagesShow(9103, "12"));
  EXPECT_TRUE(BothPagesShow(9112, "40K"));
  EXPECT_TRUE(WaitFor([&] { return SlidersShow(7001, 77); }, 1000));
  // The head's count and limit: Picture sliders 27 and 26, Calibration trackbars 5 and 4.
  EXPECT_EQ(Control<QSlider>(kPicturePage, 7028)->value(), 12);
  EXPECT_EQ(Control<QSlider>(kPicturePage, 7027)->value(), 90);
  EXPECT_EQ(Control<QSlider>(kCalibrationPage, 7006)->value(), 12);
  EXPECT_EQ(Control<QSlider>(kCalibrationPage, 7005)->value(), 90);

  // A change the unit reports reaches both pages within a cycle or two.
  sim::Unit::Instance().SetRegister(0x02, 99);
  sim::Unit::Instance().RaiseChangeMask(uint64_t{1} << 2);
  EXPECT_TRUE(WaitFor([&] { return SlidersShow(7001, 99); }, 1000));

  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return BothPagesShow(9102, ""); }, 1000));
  EXPECT_EQ(Window()->windowTitle(), "QEL_Viewer");
  // The same head comes back: its records show again, with the values of a unit just powered.
  QELSIM_SetPlugged(1);
  EXPECT_TRUE(
      WaitFor([&] { return BothPagesShow(9102, kSerial) && BothPagesShow(9103, "12"); }, 2000));
  EXPECT_EQ(Window()->windowTitle(), "QEL_Viewer [40K]");
  EXPECT_TRUE(WaitFor([&] { return SlidersShow(7001, 0); }, 1000));
}

TEST_F(RefreshGuiTest, ANewHeadTypeSelectsItsListEntryAtTheSamePosition) {
  sim::Unit& unit = sim::Unit::Instance();
  unit.SetRegister(0x00, 3);  // 40K: "AGC", the second entry
  unit.SetRegister(0x80, 1);  // 160K: "MGC+AEC", the second entry as well
  Start();
  QComboBox* gainControl = Control<QComboBox>(kPicturePage, 5002);
  ASSERT_TRUE(WaitFor([&] { return gainControl->currentText() == "AGC"; }, 2000));
  unit.SetHead(1);
  EXPECT_TRUE(WaitFor([&] { return gainControl->currentText() == "MGC+AEC"; }, 2000));
  EXPECT_TRUE(WaitFor([&] { return BothPagesShow(9112, "160K"); }, 1000));
}

TEST_F(RefreshGuiTest, EepromCommandsFromTheMenuShowTheUnitsValuesAfterwards) {
  Start(1);
  ASSERT_TRUE(WaitFor([&] { return Window()->windowTitle() == "QEL_Viewer [160K]"; }, 2000));
  Window()->Dispatch(base::kCmdEepromLoad);
  ASSERT_FALSE(op_.calls.empty());
  EXPECT_EQ(op_.calls.back().text, "No Saved Parameter[160K] Found in EEPROM.");

  ASSERT_EQ(QEL_Set_ExposureTime(123), 0);
  Window()->Dispatch(base::kCmdEepromLoadDefault);
  EXPECT_EQ(op_.calls.back().text,
            "No Default Parameter[160K] Found in EEPROM.\nUse Application Default Setting.");
  EXPECT_EQ(sim::Unit::Instance().Register(0x83), 400);
  EXPECT_TRUE(SlidersShow(7002, 400));

  Window()->Dispatch(base::kCmdEepromSave);
  EXPECT_EQ(op_.calls.back().text, "Save Parameter[160K] : Complete.");
  ASSERT_EQ(QEL_Set_ExposureTime(200), 0);
  Window()->Dispatch(base::kCmdEepromLoad);
  EXPECT_EQ(op_.calls.back().text, "Load Parameter[160K] : Complete.");
  EXPECT_EQ(op_.calls.back().icon, base::PromptIcon::Information);
  EXPECT_TRUE(SlidersShow(7002, 400));
}

TEST_F(RefreshGuiTest, DumpControlsWritesTheUnitsValuesThenTheProgramEnds) {
  app_ = std::make_unique<shell::Application>(op_);
  shell::Options options;
  options.simulate = true;
  options.dumpControls = dir_.filePath("controls.json");
  options.screenshot = dir_.filePath("window.png");
  ASSERT_EQ(app_->Run(options), 0);
  EXPECT_TRUE(QFile::exists(options.screenshot));

  QFile file(options.dumpControls);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const json dump = json::parse(file.readAll().toStdString());
  auto entry = [&](int page, int id) {
    for (const json& e : dump) {
      if (e["page"] == page && e["id"] == id) return e;
    }
    return json();
  };
  EXPECT_EQ(entry(101, 1001)["items"], json({"Picture", "Calibration"}));
  EXPECT_EQ(entry(102, 9102)["text"], kSerial.toStdString());
  EXPECT_EQ(entry(103, 9102)["text"], kSerial.toStdString());
  EXPECT_EQ(entry(102, 7001)["value"], 77);
  EXPECT_EQ(entry(103, 7001)["value"], 77);
  EXPECT_EQ(entry(102, 7028)["value"], 12);
  EXPECT_EQ(entry(102, 5002)["text"], "MGC");
}

TEST_F(RefreshGuiTest, EveryControlStandsBesideTheImageWithRoomForItsText) {
  // Both window modes and heads; the dump holds every group of the compact window as chosen.
  std::map<int, int> heights;
  for (int run = 0; run < 4; ++run) {
    const int mode = run / 2, head = run % 2;
    SCOPED_TRACE("WindowMode " + std::to_string(mode) + ", head " + std::to_string(head));
    QFile ini(dir_.filePath("QEL_Viewer.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QStringLiteral("[QEL_Viewer]\nWindowMode=%1\n").arg(mode).toLatin1());
    ini.close();
    shell::Options options{.simulate = true, .simulatedHead = head};
    options.dumpControls = dir_.filePath("controls.json");
    options.screenshot = dir_.filePath("window.png");
    ASSERT_EQ(shell::Application(op_).Run(options), 0);
    QFile file(options.dumpControls);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const json dump = json::parse(file.readAll().toStdString());
    auto rect = [](const json& e) { return QRect(e["x"], e["y"], e["width"], e["height"]); };
    // The whole content shows, at the compact window's height in both modes.
    const QSize window = QImage(options.screenshot).size();
    EXPECT_EQ(window.height(), heights.emplace(head, window.height()).first->second);
    std::map<int, QRect> images;
    std::set<int> columns, gammaWidths;
    for (const json& e : dump) {
      const int id = e["id"];
      EXPECT_TRUE(id != 1001 || QRect(QPoint(), window).contains(rect(e)));
      if (id == base::kIdImageArea) images[e["page"]] = rect(e);
      if (e["page"] == 103 && id >= 3007 && id <= 3010) gammaWidths.insert(e["width"].get<int>());
      if (mode == 0 && id >= 9501 && id <= 9505 && e["visible"]) columns.insert(e["x"].get<int>());
      // 9308 is in the Camera Info box; 3008 stands in a group on each page.
      EXPECT_TRUE(e["visible"] || (id != base::kIdCameraInfoSeparator && id != 3008)) << id;
      EXPECT_TRUE(e["fits"].get<bool>()) << e["page"] << " " << id;
    }
    EXPECT_EQ(columns.size(), mode == 0 ? 1u : 0u);
    EXPECT_EQ(gammaWidths.size(), 1u);
    for (const json& e : dump) {
      const auto image = images.find(e["page"]);
      if (image == images.end() || e["id"] == base::kIdImageArea) continue;
      EXPECT_FALSE(rect(e).intersects(image->second)) << e["page"] << " " << e["id"];
    }
  }
}

}  // namespace
