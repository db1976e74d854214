// The Debug dialog in the viewer on the simulated unit, offscreen: menu 40003, its controls and
// texts, its commands through the buttons, the dumps and hostile field texts.
#include <QAction>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "tests/api/TransferLog.h"
#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Ids.h"
#include "viewer/picture/DebugDialog.h"
#include "viewer/picture/core/DebugCommands.h"

namespace {

using picture::DebugDialog;
using testing_support::ScriptedOperator;

class DebugDialogTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    std::ofstream(QString(dir_.path() + "/QEL_Viewer.ini").toStdString())
        << "[QEL_Viewer]\nExpertMode=1\n";
    Start();
    ASSERT_TRUE(WaitFor([] { return picture::UnitConnected(); }, 3000));
  }

  void TearDown() override {
    if (DebugDialog* dialog = picture::OpenedDebugDialog()) dialog->close();
    ViewerTest::TearDown();
  }

  sim::Unit& unit() { return sim::Unit::Instance(); }

  DebugDialog* Open() {
    Window()->MenuAction(base::kCmdDebug)->trigger();
    return picture::OpenedDebugDialog();
  }

  // Closes the dialog as the window frame does and lets it end.
  void Close() {
    picture::OpenedDebugDialog()->close();
    EXPECT_TRUE(WaitFor([] { return picture::OpenedDebugDialog() == nullptr; }, 1000));
  }

  QLineEdit* Field(int id) { return picture::OpenedDebugDialog()->Field(id); }
  QString Text(int id) { return Field(id)->text(); }
  void Type(int id, const QString& text) { Field(id)->setText(text); }
  void Click(int id) {
    QTest::mouseClick(picture::OpenedDebugDialog()->Button(id), Qt::LeftButton);
  }

  QStringList DumpLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.endsWith("\r\n"));
    QStringList lines = QString::fromLatin1(content).split(QStringLiteral("\r\n"));
    lines.removeLast();
    for (const QString& line : lines) EXPECT_FALSE(line.contains('\n')) << line.toStdString();
    return lines;
  }
};

TEST_F(DebugDialogTest, OneModelessDialogWithEveryControlAndItsInitialTexts) {
  DebugDialog* dialog = Open();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Open(), dialog);
  EXPECT_EQ(Window()->findChildren<DebugDialog*>().size(), 1);
  EXPECT_EQ(dialog->objectName(), "104");
  EXPECT_EQ(dialog->windowTitle(), "Debug");
  EXPECT_FALSE(dialog->isModal());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->parentWidget(), Window());

  const struct {
    int id;
    const char* text;
  } fields[] = {{2001, "58"}, {2002, ""},     {2003, "2"}, {2004, ""},     {2005, "0"}, {2006, ""},
                {2007, ""},   {2008, ""},     {2009, "0"}, {2010, "4000"}, {2011, ""},  {2012, "1"},
                {2013, ""},   {2014, "3000"}, {2015, ""},  {2016, ""}};
  for (const auto& f : fields) {
    auto* edit = dialog->findChild<QLineEdit*>(QString::number(f.id));
    ASSERT_NE(edit, nullptr) << f.id;
    EXPECT_EQ(edit->text(), f.text) << f.id;
    EXPECT_EQ(edit->isVisible(), f.id != 2008) << f.id;
  }
  const struct {
    int id;
    const char* text;
  } buttons[] = {{3001, "Write"},    {3002, "Read"},  {3003, "Write / Read"}, {3004, "Write"},
                 {3005, "Read"},     {3006, "Write"}, {3007, "Read"},         {3008, "Write"},
                 {3009, "Read"},     {3010, "Write"}, {3011, "Read"},         {3012, "File Dump"},
                 {3013, "File Dump"}};
  for (const auto& b : buttons) {
    auto* button = dialog->findChild<QPushButton*>(QString::number(b.id));
    ASSERT_NE(button, nullptr) << b.id;
    EXPECT_EQ(button->text(), b.text) << b.id;
    EXPECT_EQ(button->isVisible(), b.id != 3006 && b.id != 3007) << b.id;
  }
  EXPECT_EQ(dialog->focusWidget(), dialog->Button(3001));

  // Typed texts go with the dialog; the slave address stays for the program run.
  Type(2001, "D8");
  Type(2010, "1234");
  Click(3002);
  EXPECT_EQ(Text(2001), "58");
  Type(2001, "21");
  Click(3002);
  Close();
  DebugDialog* second = Open();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(Text(2001), "21");
  EXPECT_EQ(Text(2010), "4000");
  EXPECT_EQ(Text(2004), "");
  Type(2001, "58");
  Click(3002);
}

TEST_F(DebugDialogTest, CommandsShowTheirResultsAndRefuseEmptyData) {
  Open();
  Click(3001);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].caption, "info");
  EXPECT_EQ(op_.calls[0].text, "No Write Data");
  EXPECT_EQ(op_.calls[0].icon, base::PromptIcon::None);

  // The DVI transmitter at 58: register pointer 10, two bytes, then read back.
  Type(2002, "10 aa,bb");
  Click(3001);
  EXPECT_EQ(Text(2002), "10 AA BB ");
  EXPECT_EQ(Text(2004), "success.");
  Type(2002, "10");
  Type(2003, "300");
  Click(3003);
  EXPECT_EQ(Text(2003), "44");
  EXPECT_TRUE(Text(2004).startsWith("AA BB ")) << Text(2004).toStdString();

  // The OV426 address register is written before the empty data field is noticed.
  unit().SetLogging(true);
  unit().ClearLog();
  Type(2014, "3012");
  Click(3010);
  ASSERT_EQ(op_.calls.size(), 2u);
  EXPECT_EQ(op_.calls[1].text, "No Write Data");
  const auto writes = qeltest::OfRequest(qeltest::kRegWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].setup.index, 0x426);
  EXPECT_EQ(writes[0].data, (qeltest::Bytes{0x30, 0x12}));
  Type(2015, "0x5a5");
  Click(3010);
  EXPECT_EQ(Text(2016), "success.");
  Type(2015, "");
  Click(3011);
  EXPECT_EQ(Text(2016), "5A5");

  // Head EEPROM: a write and a read back, then no EEPROM on the head.
  Type(2009, "1");
  Type(2010, "0x800");
  Type(2011, "1 2 ff");
  Click(3008);
  EXPECT_EQ(Text(2011), "01 02 FF ");
  EXPECT_EQ(Text(2013), "success.");
  Type(2012, "3");
  Click(3009);
  EXPECT_EQ(Text(2013), "01 02 FF ");
  EXPECT_EQ(op_.calls.size(), 2u);
}

TEST_F(DebugDialogTest, EepromWriteGivesUpOnAStuckOrFailingEeprom) {
  Open();
  unit().SetLogging(true);
  const struct {
    std::function<void()> fault;
    const char* result;
  } cases[] = {
      {[this] { unit().SetEepromStuckBusy(0, true); }, "failed.(busy.)"},
      {[this] { unit().SetEepromError(0, true); }, "failed.(error.)"},
  };
  for (const auto& c : cases) {
    unit().ClearFaults();
    c.fault();
    unit().ClearLog();
    Type(2011, "12 34");
    QElapsedTimer clock;
    clock.start();
    Click(3008);
    EXPECT_EQ(Text(2013), c.result);
    EXPECT_TRUE(qeltest::OfRequest(qeltest::kEepromWrite).empty());
    // The dialog came back: after about two seconds for a busy EEPROM, at once otherwise.
    EXPECT_LT(clock.elapsed(), 2000 + 1500 * kSlow);
  }
  unit().ClearFaults();
  Click(3008);
  EXPECT_EQ(Text(2013), "success.");
  EXPECT_EQ(unit().ReadEeprom(0, 0x4000, 2), (std::vector<uint8_t>{0x12, 0x34}));
}

TEST_F(DebugDialogTest, DumpsWriteTheSelectedRangeIntoTheChosenFile) {
  Open();
  Type(2005, "120");
  Type(2006, "beef");
  Click(3004);
  ASSERT_EQ(Text(2007), "success.");

  const struct {
    int button;
    const char* type;
    const char* proposed;
    int lines;
    const char* heading;
    const char* second;
  } cases[] = {
      {3013, "0", "Dump_FPGA.txt", 1025, "<FPGA>", "0000 : "},
      {3012, "1", "Dump_EEPROM.txt", 257, "<EEPROM_CIS>", "0000 : "},
      {3012, "0", "Dump_EEPROM.txt", 3073, "<EEPROM_FX2>", "4000 : "},
  };
  for (const auto& c : cases) {
    op_.calls.clear();
    const QString path = dir_.path() + "/dump_" + QString::number(c.lines) + ".txt";
    op_.files.push_back(path);
    Type(2009, c.type);
    Click(c.button);
    ASSERT_EQ(op_.calls.size(), 1u);
    const base::FileRequest& request = op_.calls[0].request;
    EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::SaveFile);
    EXPECT_EQ(request.title, "Save File");
    EXPECT_EQ(request.filter, QString(10, '\t') + " Dump Data (*.txt)");
    EXPECT_EQ(request.defaultSuffix, "txt");
    EXPECT_EQ(request.directory, ".");
    EXPECT_EQ(request.proposedName, c.proposed);
    const QStringList lines = DumpLines(path);
    ASSERT_EQ(lines.size(), c.lines) << c.heading;
    EXPECT_EQ(lines[0], c.heading);
    EXPECT_TRUE(lines[1].startsWith(c.second)) << lines[1].toStdString();
    if (c.button == 3013) {
      EXPECT_EQ(lines[0x120 + 1], "0120 : BEEF");
    } else {
      EXPECT_EQ(lines[1].size(), 7 + 16 * 3);
      EXPECT_TRUE(lines[1].endsWith(' '));
    }
  }

  // Cancelled: nothing written; unplugged: refused before the file dialog.
  op_.calls.clear();
  Click(3013);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(QDir(dir_.path()).entryList({"*.txt"}).size(), 3);
  unit().SetPlugged(false);
  ASSERT_TRUE(WaitFor([] { return !picture::UnitConnected(); }, 2000));
  op_.calls.clear();
  Click(3012);
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].kind, ScriptedOperator::Kind::Message);
  EXPECT_EQ(op_.calls[0].caption, "Message");
  EXPECT_EQ(op_.calls[0].text, "No Connected Camera!");
  EXPECT_EQ(op_.calls[0].icon, base::PromptIcon::Warning);
}

TEST_F(DebugDialogTest, HostileTextsInEveryField) {
  Open();
  const QString hostile[] = {
      QString(1023, 'F'),
      QString(4000, '9'),
      QStringLiteral("-0x80000000"),
      QStringLiteral("+-+"),
      QString::fromUtf8("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80 12"),
      QStringLiteral("0x"),
      QString(1022, ' ') + "AB",
  };
  const int buttons[] = {3001, 3002, 3003, 3004, 3005, 3008, 3009, 3010, 3011};
  for (const QString& text : hostile) {
    for (int button : buttons) {
      for (int id = picture::kFirstFieldId; id <= picture::kLastFieldId; ++id) Type(id, text);
      Type(2009, "1");  // writes go to the head EEPROM, whatever address they name
      Click(button);
      EXPECT_EQ(Text(2008), text) << "a field no command reads stays as typed";
      if (button <= 3003) {
        EXPECT_EQ(Text(2001).size(), 2);
      }
    }
  }
  // Characters outside Latin-1 read as no digits: "ä€😀 12" gives no byte at all.
  Type(2002, QString::fromUtf8("\xE2\x82\xAC 12"));
  Click(3001);
  EXPECT_EQ(Text(2002), "");
  EXPECT_TRUE(op_.calls.empty());
}

}  // namespace
