// The six EEPROM parameter commands on the simulated unit: messages, icons, the wait cursor and
// what the pages are told afterwards.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QThread>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "tests/api/SimFixture.h"
#include "tests/gui/ScriptedOperator.h"
#include "tests/picture/RecordingView.h"
#include "viewer/base/Ids.h"
#include "viewer/picture/PageRefresh.h"
#include "viewer/shell/EepromCommands.h"

namespace {

using Calls = std::vector<std::string>;
using base::PromptIcon;

constexpr size_t kFullRefreshCalls = 46;  // 45 controls and the enabling update

// Messages land in the same list as the page calls, so their order can be checked.
class LoggingOperator : public testing_support::ScriptedOperator {
 public:
  LoggingOperator(Calls& log, bool& cursorKeptForMessage)
      : log_(log), cursorKeptForMessage_(cursorKeptForMessage) {}
  void Message(QWidget* owner, const QString& caption, const QString& text,
               PromptIcon icon) override {
    ScriptedOperator::Message(owner, caption, text, icon);
    if (QGuiApplication::overrideCursor() != nullptr) cursorKeptForMessage_ = true;
    log_.push_back("message " + text.toStdString());
  }

 private:
  Calls& log_;
  bool& cursorKeptForMessage_;
};

class EepromCommandsTest : public qeltest::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    // Every transfer of the library call, on this thread and before the message, must see the
    // wait cursor.
    unit().SetControlHook([this](const usb::SetupPacket&) {
      if (QThread::currentThread() != QCoreApplication::instance()->thread()) return;
      if (!op.calls.empty()) return;
      const QCursor* cursor = QGuiApplication::overrideCursor();
      if (cursor == nullptr || cursor->shape() != Qt::WaitCursor) ++transfersWithoutWaitCursor;
      ++transfers;
    });
  }
  void TearDown() override {
    unit().SetControlHook(nullptr);
    SimFixture::TearDown();
  }

  void UseHead(int type) {
    ASSERT_TRUE(unit().SetHead(type));
    cisType = type;
  }

  std::atomic<int> cisType{0};
  testing_support::RecordingView view;
  bool cursorKeptForMessage = false;
  LoggingOperator op{view.calls, cursorKeptForMessage};
  int transfers = 0;
  int transfersWithoutWaitCursor = 0;
  picture::PageRefresh refresh{[this] { return &view; }, [](std::function<void()> b) { b(); },
                               cisType};
  shell::EepromCommands commands{refresh, [this] { return &view; }, cisType};
};

struct CommandCase {
  const char* name;
  int head;
  std::function<void(sim::Unit&)> setUp;
  int id;
  const char* text;
  PromptIcon icon;
  Calls followUp;    // page calls between the message and the full refresh
  bool fullRefresh;  // a full refresh ends the command
};

TEST_F(EepromCommandsTest, EachCommandShowsItsResultAndDoesItsFollowUp) {
  using enum PromptIcon;
  auto saved = [](int (*save)(int)) { return [save](sim::Unit&) { ASSERT_EQ(save(0), 0); }; };
  // Three of the restore's register writes fail: result 3, as a refused version would give.
  auto savedThenRestoreFails = [](int (*save)(int)) {
    return [save](sim::Unit& u) {
      ASSERT_EQ(save(0), 0);
      u.FailControl(0, 3, 0x19);
    };
  };
  auto unitEepromError = [](sim::Unit& u) { u.SetEepromError(0, true); };
  auto noUnitEeprom = [](sim::Unit& u) { u.SetUnitEepromAbsent(true); };
  auto nothing = [](sim::Unit&) {};
  const char* noDefault =
      "No Default Parameter[40K] Found in EEPROM.\n"
      "Use Application Default Setting.";
  const CommandCase cases[] = {
      {"load",
       0,
       saved(QEL_Save_Param),
       base::kCmdEepromLoad,
       "Load Parameter[40K] : Complete.",
       Information,
       {},
       true},
      {"load 160K",
       1,
       saved(QEL_Save_Param),
       base::kCmdEepromLoad,
       "Load Parameter[160K] : Complete.",
       Information,
       {},
       true},
      {"load from an empty area",
       1,
       nothing,
       base::kCmdEepromLoad,
       "No Saved Parameter[160K] Found in EEPROM.",
       Information,
       {},
       false},
      {"load with failing register writes",
       0,
       savedThenRestoreFails(QEL_Save_Param),
       base::kCmdEepromLoad,
       "Load Parameter[40K] : Error!",
       Warning,
       {},
       true},
      {"load without a unit EEPROM",
       0,
       noUnitEeprom,
       base::kCmdEepromLoad,
       "Load Parameter[40K] : Error!",
       Warning,
       {},
       false},
      {"save",
       0,
       nothing,
       base::kCmdEepromSave,
       "Save Parameter[40K] : Complete.",
       Information,
       {},
       false},
      {"save 160K without a unit EEPROM",
       1,
       noUnitEeprom,
       base::kCmdEepromSave,
       "Save Parameter[160K] : Error!",
       Warning,
       {},
       false},
      {"save into an EEPROM in error",
       0,
       unitEepromError,
       base::kCmdEepromSave,
       "Save Parameter[40K] : Error!",
       Warning,
       {},
       false},
      {"clear",
       1,
       nothing,
       base::kCmdEepromClear,
       "Clear Parameter[40K&160K] : Complete.",
       Information,
       {},
       false},
      {"clear an EEPROM in error",
       0,
       unitEepromError,
       base::kCmdEepromClear,
       "Clear Parameter[40K&160K] : Error!",
       Warning,
       {},
       false},
      {"load default",
       0,
       saved(QEL_Save_Default_Param),
       base::kCmdEepromLoadDefault,
       "Load Default Parameter[40K] : Complete.",
       Information,
       {"calibration defaults tools"},
       true},
      {"load default from an empty area",
       0,
       nothing,
       base::kCmdEepromLoadDefault,
       noDefault,
       Information,
       {"application defaults", "calibration defaults all"},
       true},
      {"load default with failing register writes",
       1,
       savedThenRestoreFails(QEL_Save_Default_Param),
       base::kCmdEepromLoadDefault,
       "Load Default Parameter[160K] : Error!",
       Warning,
       {},
       true},
      {"load default without a unit EEPROM",
       1,
       noUnitEeprom,
       base::kCmdEepromLoadDefault,
       "Load Default Parameter[160K] : Error!",
       Warning,
       {},
       false},
      {"save default",
       1,
       nothing,
       base::kCmdEepromSaveDefault,
       "Save Parameter[160K] as Default : Complete.",
       Information,
       {},
       false},
      {"save default into an EEPROM in error",
       0,
       unitEepromError,
       base::kCmdEepromSaveDefault,
       "Save Parameter[40K] as Default : Error!",
       Warning,
       {},
       false},
      {"clear default",
       0,
       nothing,
       base::kCmdEepromClearDefault,
       "Clear Default Parameter[40K&160K] : Complete.",
       Information,
       {},
       false},
      {"clear default without a unit EEPROM",
       1,
       noUnitEeprom,
       base::kCmdEepromClearDefault,
       "Clear Default Parameter[40K&160K] : Error!",
       Warning,
       {},
       false},
  };
  for (const CommandCase& c : cases) {
    SCOPED_TRACE(c.name);
    unit().ClearFaults();
    unit().SetUnitEepromAbsent(false);
    ASSERT_TRUE(unit().PreloadEeprom(0, {}));  // erased
    UseHead(c.head);
    c.setUp(unit());
    view.calls.clear();
    op.calls.clear();
    transfers = transfersWithoutWaitCursor = 0;
    cursorKeptForMessage = false;

    ASSERT_TRUE(commands.Run(c.id, op, nullptr));

    ASSERT_EQ(op.calls.size(), 1u);
    EXPECT_EQ(op.calls[0].caption, "Message");
    EXPECT_EQ(op.calls[0].icon, c.icon);
    Calls expected{"message " + std::string(c.text)};
    expected.insert(expected.end(), c.followUp.begin(), c.followUp.end());
    ASSERT_GE(view.calls.size(), expected.size());
    EXPECT_EQ(Calls(view.calls.begin(), view.calls.begin() + expected.size()), expected);
    const size_t refreshCalls = view.calls.size() - expected.size();
    EXPECT_EQ(refreshCalls, c.fullRefresh ? kFullRefreshCalls : 0u);
    if (c.fullRefresh) {
      EXPECT_EQ(view.calls.back(), "enabling");
    }

    EXPECT_GT(transfers, 0);
    EXPECT_EQ(transfersWithoutWaitCursor, 0);
    EXPECT_FALSE(cursorKeptForMessage);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  }
}

TEST_F(EepromCommandsTest, OtherIdsAreNotEepromCommands) {
  for (int id : {base::kCmdSaveSettings, base::kCmdVersion, 40019, 0}) {
    EXPECT_FALSE(commands.Run(id, op, nullptr)) << id;
  }
  EXPECT_TRUE(op.calls.empty());
  EXPECT_TRUE(view.calls.empty());
  EXPECT_EQ(transfers, 0);
}

}  // namespace
