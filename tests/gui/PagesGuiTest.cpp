// The parameter pages on the simulated unit, driven through their widgets: what goes over the
// bus when the operator moves a control, mirrors between the pages, the enabling rules, rows per
// head type, the raw view of the Calibration page, the frame count field and the buttons.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>
#include <vector>

#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"

namespace {

using testing_support::ScriptedOperator;

constexpr uint8_t kRegWrite = 0x19;

class PagesTest : public ViewerTest {
 protected:
  template <typename T>
  T* Control(int page, int id) {
    return Page(page)->findChild<T*>(QString::number(id));
  }
  // Values written to one register, in bus order.
  static std::vector<int> WritesTo(uint16_t reg) {
    std::vector<int> values;
    for (const sim::TransferRecord& r : sim::Unit::Instance().Log()) {
      if (r.setup.request == kRegWrite && r.setup.index == reg && r.data.size() == 2) {
        values.push_back(r.data[0] << 8 | r.data[1]);
      }
    }
    return values;
  }
  void Choose(int page, int listId, int position) {
    QComboBox* list = Control<QComboBox>(page, listId);
    ASSERT_NE(list, nullptr) << listId;
    list->setCurrentIndex(position);
    emit list->activated(position);
  }
  void WaitHeadType(int cisType) {
    ASSERT_TRUE(WaitFor([&] { return app_->State().lastCisType.load() == cisType; }, 2000));
    QTest::qWait(50);
  }
};

// Dragging sends every position on the way, and the Calibration twin follows.
TEST_F(PagesTest, DraggingExposureSendsEveryPositionAndMovesTheCalibrationTwin) {
  Start(1);
  WaitHeadType(1);
  QSlider* exposure = Control<QSlider>(kPicturePage, 7002);
  ASSERT_NE(exposure, nullptr);
  sim::Unit::Instance().SetLogging(true);
  exposure->setSliderDown(true);
  for (int v = 300; v <= 305; ++v) exposure->setValue(v);
  exposure->setSliderDown(false);
  EXPECT_EQ(WritesTo(0x83), (std::vector<int>{300, 301, 302, 303, 304, 305}));
  EXPECT_EQ(Control<QSlider>(kCalibrationPage, 7002)->value(), 305);
  EXPECT_EQ(Control<QLabel>(kCalibrationPage, 8002)->text(), "22.0ms");
  EXPECT_EQ(Control<QLabel>(kPicturePage, 8002)->text(), "22.0ms");

  // The other way round: the Calibration trackbar sends once and moves the Picture slider.
  sim::Unit::Instance().ClearLog();
  Control<QSlider>(kCalibrationPage, 7001)->setValue(77);
  EXPECT_EQ(WritesTo(0x82), (std::vector<int>{77}));
  EXPECT_EQ(Control<QSlider>(kPicturePage, 7001)->value(), 77);
  EXPECT_EQ(Control<QLabel>(kPicturePage, 8001)->text(), "77");
}

TEST_F(PagesTest, FlipAndRotationExcludeEachOther) {
  Start();
  QComboBox* flip = Control<QComboBox>(kPicturePage, 5008);
  QComboBox* rotation = Control<QComboBox>(kPicturePage, 5009);
  Choose(kPicturePage, 5008, 1);  // "H Flip"
  EXPECT_FALSE(rotation->isEnabled());
  EXPECT_FALSE(Control<QLabel>(kPicturePage, 4009)->isEnabled());
  Choose(kPicturePage, 5008, 0);  // "Normal"
  EXPECT_TRUE(rotation->isEnabled());
  Choose(kPicturePage, 5009, 1);  // "90 degree" with flip "Normal"
  EXPECT_FALSE(flip->isEnabled());
  Choose(kPicturePage, 5009, 0);
  EXPECT_TRUE(flip->isEnabled());
}

// The choice goes to the unit by the list's To device rule and the enabling follows the modes.
TEST_F(PagesTest, ControlModeChoiceIsSentAndGreysTheManualRows) {
  Start(1);
  WaitHeadType(1);
  sim::Unit::Instance().SetLogging(true);
  Choose(kPicturePage, 5002, 2);  // "AGC+AEC"
  EXPECT_EQ(WritesTo(0x80), (std::vector<int>{3}));
  EXPECT_FALSE(Control<QSlider>(kPicturePage, 7003)->isEnabled());  // gain
  EXPECT_FALSE(Control<QSlider>(kPicturePage, 7002)->isEnabled());  // exposure
  EXPECT_TRUE(Control<QSlider>(kPicturePage, 7004)->isEnabled());   // target
  EXPECT_FALSE(Control<QSlider>(kCalibrationPage, 7003)->isEnabled());
  Choose(kPicturePage, 5002, 1);  // "MGC+AEC": gain and target on, exposure off
  EXPECT_TRUE(Control<QSlider>(kPicturePage, 7003)->isEnabled());
  EXPECT_TRUE(Control<QSlider>(kPicturePage, 7004)->isEnabled());
  EXPECT_FALSE(Control<QSlider>(kPicturePage, 7002)->isEnabled());
}

TEST_F(PagesTest, HeadTypeDecidesTheExposureAndVfpnRowsAndTheTexts) {
  Start(0);
  WaitHeadType(0);
  auto shown = [&](int id) { return Control<QWidget>(kPicturePage, id)->isVisibleTo(Page(0)); };
  // The rows live in groups that the compact layout may have put aside; look in the wide sense.
  Control<QComboBox>(kPicturePage, 9203)->setCurrentIndex(2);
  emit Control<QComboBox>(kPicturePage, 9203)->activated(2);  // "Image Control"
  EXPECT_FALSE(shown(5015));
  Control<QComboBox>(kPicturePage, 9203)->setCurrentIndex(0);
  emit Control<QComboBox>(kPicturePage, 9203)->activated(0);
  EXPECT_FALSE(shown(7002));
  EXPECT_EQ(Control<QLabel>(kPicturePage, 6003)->text(), "Digital Gain");
  EXPECT_EQ(Control<QComboBox>(kPicturePage, 5002)->count(), 2);

  QELSIM_SetHead(1);
  WaitHeadType(1);
  EXPECT_TRUE(shown(7002));
  EXPECT_EQ(Control<QLabel>(kPicturePage, 6003)->text(), "RAW Gain");
  EXPECT_EQ(Control<QLabel>(kPicturePage, 6004)->text(), "AGC/AEC Tartget");
  EXPECT_EQ(Control<QComboBox>(kPicturePage, 5002)->count(), 3);
  EXPECT_EQ(Control<QComboBox>(kPicturePage, 9203)->itemText(0), "Gain/Exposure/Light Control");
  EXPECT_TRUE(Control<QWidget>(kCalibrationPage, 7002)->isVisibleTo(Page(1)));
  EXPECT_EQ(Control<QSlider>(kCalibrationPage, 7010)->maximum(), 200);
}

TEST_F(PagesTest, CalibrationPageSwitchesTheUnitToRawDataAndBack) {
  Start();
  ASSERT_TRUE(WaitFrames(2));
  Window()->Tabs()->setCurrentIndex(kCalibrationPage);
  EXPECT_EQ(sim::Unit::Instance().DataFormat(), 1);
  EXPECT_TRUE(app_->State().rawView.load());
  Window()->Tabs()->setCurrentIndex(kPicturePage);
  EXPECT_EQ(sim::Unit::Instance().DataFormat(), 0);
  EXPECT_FALSE(app_->State().rawView.load());
}

TEST_F(PagesTest, FrameCountFieldKeepsWithinOneToAHundred) {
  Start();
  QLineEdit* edit = Control<QLineEdit>(kCalibrationPage, 9606);
  ASSERT_NE(edit, nullptr);
  const struct {
    const char* typed;
    const char* shown;
  } cases[] = {{"250", "100"}, {"0", "1"}, {"-5", "1"}, {"ab", "1"}, {"", "1"}, {"42", "42"}};
  for (const auto& c : cases) {
    edit->setText(QString::fromLatin1(c.typed));
    emit edit->textEdited(edit->text());
    EXPECT_EQ(edit->text(), c.shown) << c.typed;
  }
  auto arrows = Control<QWidget>(kCalibrationPage, 9605)->findChildren<QToolButton*>();
  ASSERT_EQ(arrows.size(), 2);
  arrows[0]->click();
  EXPECT_EQ(edit->text(), "43");
  edit->setText(QStringLiteral("100"));
  emit edit->editingFinished();
  arrows[0]->click();
  EXPECT_EQ(edit->text(), "100");
}

// Buttons send the main window's commands: with no unit, the capture and CSV commands refuse.
TEST_F(PagesTest, ForwardingButtonsReachTheirCommands) {
  Start();
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor(
      [] {
        int status = 0;
        QEL_GetStatus(&status);
        return status == 0;
      },
      2000));
  for (auto [page, id] : {std::pair{kPicturePage, 3005}, std::pair{kCalibrationPage, 3005},
                          std::pair{kCalibrationPage, 9603}}) {
    op_.calls.clear();
    Control<QPushButton>(page, id)->click();
    ASSERT_EQ(op_.calls.size(), 1u) << id;
    EXPECT_EQ(op_.calls[0].text, "No Connected Camera!");
    EXPECT_EQ(op_.calls[0].caption, "Message");
  }
  // A slider moved while the unit is gone sends nothing and breaks nothing.
  Control<QSlider>(kPicturePage, 7001)->setValue(9);
  EXPECT_EQ(Control<QLabel>(kPicturePage, 8001)->text(), "9");
}

// Every page control carries its id and both layouts keep every group's rows.
TEST_F(PagesTest, BothPagesCarryEveryControlId) {
  Start();
  for (int i = 0; i < 29; ++i) {
    EXPECT_NE(Control<QSlider>(kPicturePage, 7001 + i), nullptr) << i;
    EXPECT_NE(Control<QLabel>(kPicturePage, 8001 + i), nullptr) << i;
  }
  for (int j = 0; j < 18; ++j) EXPECT_NE(Control<QComboBox>(kPicturePage, 5002 + j), nullptr) << j;
  for (int id : {3001, 3002, 3003, 3004, 3005, 3007, 3008, 3009, 3010, 3011, 3012, 3013, 3014, 3015,
                 3016, 9601, 9602}) {
    EXPECT_NE(Control<QPushButton>(kPicturePage, id), nullptr) << id;
  }
  EXPECT_EQ(Control<QLabel>(kPicturePage, 9202)->text(), "LIVE");
  for (int k = 0; k < 10; ++k) EXPECT_NE(Control<QSlider>(kCalibrationPage, 7001 + k), nullptr);
  EXPECT_NE(Control<QCheckBox>(kCalibrationPage, 7029), nullptr);
  EXPECT_FALSE(Control<QWidget>(kCalibrationPage, 9503)->isVisibleTo(Page(kCalibrationPage)));
  EXPECT_FALSE(Control<QWidget>(kCalibrationPage, 9505)->isVisibleTo(Page(kCalibrationPage)));
  EXPECT_EQ(Control<QPushButton>(kPicturePage, 3016)->text(), "Write && Init");
}

}  // namespace
