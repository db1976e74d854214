// The Picture page's command buttons on the simulated unit: the white balance polled with the
// GUI still serving, the gains on the sliders, a head record save, the serial number buttons and
// their message boxes as the operator sees them.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <algorithm>
#include <string>

#include "tests/gui/ViewerFixture.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/ViewState.h"

namespace {

using Kind = testing_support::ScriptedOperator::Kind;
using base::PromptIcon;

constexpr uint8_t kEepromWrite = 0x17;

int DecodeSignMagnitude(uint16_t v) {
  return (v >> 8) & 1 ? -(v & 0xFF) : (v & 0xFF);
}

class PictureCommandsTest : public ViewerTest {
 protected:
  template <typename T>
  T* Control(int id) {
    return Page(kPicturePage)->findChild<T*>(QString::number(id));
  }

  // The page enables the head's buttons once the monitor has seen its EEPROM.
  void WaitEnabled(int id) {
    auto* button = Control<QPushButton>(id);
    ASSERT_NE(button, nullptr) << id;
    ASSERT_TRUE(WaitFor([&] { return button->isEnabled(); }, 2000)) << id;
  }

  void Click(int id) {
    WaitEnabled(id);
    op_.calls.clear();
    Control<QPushButton>(id)->click();
  }

  static size_t EepromWrites() {
    size_t count = 0;
    for (const sim::TransferRecord& r : sim::Unit::Instance().Log()) {
      count += r.setup.request == kEepromWrite ? 1 : 0;
    }
    return count;
  }
};

TEST_F(PictureCommandsTest, WhiteBalanceKeepsTheGuiServingAndSetsTheGainSliders) {
  Start();
  sim::Unit& unit = sim::Unit::Instance();
  ASSERT_TRUE(WaitFrames(1));

  // The unit's usual white balance takes a while: a job queued before the click runs during it,
  // under the wait cursor.
  bool servedWhileBusy = false;
  base::PostToGui([&] {
    const QCursor* cursor = QApplication::overrideCursor();
    servedWhileBusy = cursor && cursor->shape() == Qt::WaitCursor;
  });
  Click(3007);
  EXPECT_TRUE(servedWhileBusy);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(op_.calls.empty());
  const int red = DecodeSignMagnitude(unit.Register(0x11));
  const int blue = DecodeSignMagnitude(unit.Register(0x12));
  EXPECT_EQ(Control<QSlider>(7009)->value(), red);
  EXPECT_EQ(Control<QSlider>(7010)->value(), blue);
  EXPECT_EQ(Control<QLabel>(8010)->text(), QString::asprintf("%.3fdB", blue * 0.0352));

  unit.SetOperationMode(sim::Operation::WhiteBalance, sim::OperationMode::FailPoll);
  Click(3007);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].caption, "info");
  EXPECT_EQ(op_.calls[0].text, "AWB exec error!");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::Warning);
}

TEST_F(PictureCommandsTest, SaveAndSerialButtonsTalkToTheHead) {
  Start();
  sim::Unit& unit = sim::Unit::Instance();
  unit.SetLogging(true);

  // The usage count as the slider shows it goes to the head.
  WaitEnabled(3011);
  Control<QSlider>(7028)->setValue(33);
  op_.calls.clear();
  Control<QPushButton>(3011)->click();
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].caption, "info");
  EXPECT_EQ(op_.calls[0].text, "CIS Usage Count save complete");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::None);
  EXPECT_EQ(unit.ReadEeprom(1, 0x20, 1), std::vector<uint8_t>{33});

  // Read fills the serial field with the head's serial number.
  QLineEdit* serial = Control<QLineEdit>(2001);
  Click(3013);
  EXPECT_TRUE(op_.calls.empty());
  const std::vector<uint8_t> stored = unit.ReadEeprom(1, 0x10, 14);
  const std::string headSerial(stored.begin(), std::find(stored.begin(), stored.end(), 0));
  ASSERT_FALSE(headSerial.empty());
  EXPECT_EQ(serial->text().toStdString(), headSerial);

  // Write && Init asks first; Cancel writes nothing.
  serial->setText(QStringLiteral("NEW-SERIAL"));
  unit.ClearLog();
  op_.answers = {false};
  Click(3016);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].kind, Kind::Ask);
  EXPECT_EQ(op_.calls[0].caption, "info");
  EXPECT_EQ(op_.calls[0].text, "Wtite Seral No. & Init CIS-EEPROM ?");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::Information);
  EXPECT_EQ(EepromWrites(), 0u);

  Click(3012);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].text, "Serial No. write complete");
  EXPECT_EQ(op_.calls[0].icon, PromptIcon::None);
  const std::vector<uint8_t> expected = {'N', 'E', 'W', '-', 'S', 'E', 'R',
                                         'I', 'A', 'L', 0,   0,   0,   0};
  EXPECT_EQ(unit.ReadEeprom(1, 0x10, 14), expected);
}

}  // namespace
