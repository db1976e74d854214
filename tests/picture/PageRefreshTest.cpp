// The full, change and Camera Info refreshes against the simulated unit: what goes out on the bus
// and what the pages are told, batch by batch.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "tests/picture/RecordingView.h"
#include "viewer/picture/PageRefresh.h"

namespace {

using qeltest::Bytes;
using qeltest::kRegRead;
using Calls = std::vector<std::string>;

constexpr uint16_t kCisTypeRegister = 0xF4;

// Register values of a bank as the tests load them: 100 + n in the plain registers, distinct
// fields in the packed ones; gain/exposure control manual and light control "MLC", so that no
// automatic control changes anything while a test runs.
void LoadRegisters(sim::Unit& unit, uint32_t base) {
  for (uint32_t n = 0x02; n < 0x20; ++n) unit.SetRegister(base + n, static_cast<uint16_t>(100 + n));
  unit.SetRegister(base + 0x00, 0);
  unit.SetRegister(base + 0x01, 2);
  unit.SetRegister(base + 0x10, 0);
  unit.SetRegister(base + 0x20, 0x3213);  // DVI size 3, rotation 2, flip 1, gamma 3
  unit.SetRegister(base + 0x21, 0x1231);  // DVI resolution 1, VFPN 2, edge 3, noise 1
  unit.SetRegister(base + 0x22, 0x0007);  // IFA 7
  unit.SetRegister(base + 0x23, 0x0021);  // FPN 2, defect correction 1
  unit.SetRegister(base + 0x24, 0x0002);  // Vout current 2
  unit.SetRegister(0xF6, 0);
  unit.SetRegister(0xF7, 1);
}

// One parameter read: its register (bank 0) and the page operation it ends in (none for AWB).
struct Read {
  uint16_t reg;
  const char* call;
};

const Read kFullRefresh[] = {
    {0x00, "list 0 = 0"},      {0x01, "list 1 = 2"},      {0x02, "slider 0 = 102"},
    {0x03, "slider 1 = 103"},  {0x04, "slider 2 = 104"},  {0x06, "slider 4 = 106"},
    {0x07, "slider 5 = 107"},  {0x08, "slider 6 = 108"},  {0x09, "slider 7 = 109"},
    {0x05, "slider 3 = 105"},  {0x0A, "list 2 = 110"},    {0x0B, "list 3 = 111"},
    {0x0C, "list 4 = 112"},    {0x0F, "slider 23 = 115"}, {0x0D, "slider 24 = 113"},
    {0x0E, "slider 25 = 114"}, {0x10, nullptr},           {0x11, "slider 8 = 117"},
    {0x12, "slider 9 = 118"},  {0x13, "slider 10 = 119"}, {0x14, "slider 11 = 120"},
    {0x15, "slider 12 = 121"}, {0x16, "slider 13 = 122"}, {0x17, "slider 14 = 123"},
    {0x18, "slider 15 = 124"}, {0x19, "slider 16 = 125"}, {0x1A, "slider 17 = 126"},
    {0x1B, "slider 18 = 127"}, {0x1C, "slider 19 = 128"}, {0x1D, "slider 20 = 129"},
    {0x1E, "slider 21 = 130"}, {0x1F, "slider 28 = 131"}, {0x20, "list 5 = 3"},
    {0x20, "list 6 = 1"},      {0x20, "list 7 = 2"},      {0x20, "list 8 = 3"},
    {0x23, "list 9 = 1"},      {0x23, "list 10 = 2"},     {0x21, "list 11 = 1"},
    {0x21, "list 12 = 3"},     {0x21, "list 13 = 2"},     {0x21, "list 14 = 1"},
    {0x22, "slider 22 = 7"},   {0x24, "list 15 = 2"},     {0xF6, "list 16 = 0"},
    {0xF7, "list 17 = 1"},
};

// Register requests of a sequence of reads: a banked register is preceded by the head type read.
std::vector<uint16_t> RegisterRequests(const std::vector<Read>& reads, uint16_t bankOffset = 0) {
  std::vector<uint16_t> out;
  for (const Read& r : reads) {
    if (r.reg < 0x30) {
      out.push_back(kCisTypeRegister);
      out.push_back(static_cast<uint16_t>(r.reg + bankOffset));
    } else {
      out.push_back(r.reg);
    }
  }
  return out;
}

Calls PageCalls(const std::vector<Read>& reads) {
  Calls out;
  for (const Read& r : reads) {
    if (r.call != nullptr) out.push_back(r.call);
  }
  return out;
}

class RefreshTest : public qeltest::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    LoadRegisters(unit(), 0);
    LoadRegisters(unit(), 0x80);
  }

  // A head EEPROM holding these records, the defect tables initialised and empty.
  static Bytes HeadEeprom(const std::string& serial, uint8_t count, uint8_t limit) {
    Bytes bytes(0x480, 0xFF);
    const uint8_t header[] = {'Q', 'E', 'L', 0, 1, 0, 0};
    std::copy(std::begin(header), std::end(header), bytes.begin());
    std::fill_n(bytes.begin() + 0x10, 14, 0);
    std::copy(serial.begin(), serial.end(), bytes.begin() + 0x10);
    bytes[0x20] = count;
    bytes[0x24] = limit;
    const uint8_t records[] = {0x01, 0x0C, 0x00, 0x05, 0x00, 0x09};  // red -12, blue 5, IFA 9
    std::copy(std::begin(records), std::end(records), bytes.begin() + 0x30);
    for (uint32_t table : {0x200u, 0x400u}) {
      for (uint32_t i = 0; i < 128; i += 2) {
        bytes[table + i] = 0x01;
        bytes[table + i + 1] = 0xFF;
      }
    }
    return bytes;
  }

  // The calls that are not a full refresh's (those are checked on their own), and the number
  // of full refreshes among them.
  Calls WithoutFullRefresh(int* fullRefreshes) const {
    Calls out;
    *fullRefreshes = 0;
    for (const std::string& c : view.calls) {
      if (c == "enabling") ++*fullRefreshes;
      const bool headSlider = c.starts_with("slider 26 ") || c.starts_with("slider 27 ");
      if (c == "enabling" || c.starts_with("list ") || (c.starts_with("slider ") && !headSlider))
        continue;
      out.push_back(c);
    }
    return out;
  }

  void Cycle() {
    refresh.CameraInfoRefresh();
    refresh.ChangeRefresh();
  }

  std::atomic<int> cisType{0};
  testing_support::RecordingView view;
  int deliveries = 0;
  picture::PageRefresh refresh{[this] { return &view; },
                               [this](std::function<void()> batch) {
                                 ++deliveries;
                                 batch();
                               },
                               cisType};
};

TEST_F(RefreshTest, FullRefreshReadsEveryParameterInOrderAndShowsItInOneBatch) {
  const std::vector<Read> reads(std::begin(kFullRefresh), std::end(kFullRefresh));
  EXPECT_FALSE(refresh.FullRefreshShown());
  refresh.FullRefresh();
  EXPECT_EQ(qeltest::IndicesOf(kRegRead), RegisterRequests(reads));
  Calls expected = PageCalls(reads);
  expected.push_back("enabling");
  EXPECT_EQ(view.calls, expected);
  EXPECT_EQ(deliveries, 1);
  EXPECT_TRUE(refresh.FullRefreshShown());
}

TEST_F(RefreshTest, FailedReadsLeaveTheirControlsAndTheRestStillShow) {
  // The third register request is black level's (after the head type reads of the two
  // control modes and its own).
  unit().FailControl(5, 1, kRegRead);
  refresh.FullRefresh();
  EXPECT_EQ(view.Count("slider 0 = 102"), 0);
  EXPECT_EQ(view.Count("slider 1 = 103"), 1);
  EXPECT_EQ(view.calls.back(), "enabling");
  EXPECT_EQ(view.calls.size(), std::size(kFullRefresh) - 1);  // AWB shows nothing
}

TEST_F(RefreshTest, UnplugDuringAFullRefreshShowsWhatWasReadBefore) {
  int transfers = 0;
  unit().SetControlHook([&](const usb::SetupPacket&) {
    if (++transfers == 20) unit().SetPlugged(false);
  });
  refresh.FullRefresh();
  unit().SetControlHook(nullptr);
  // Twenty register requests are the ten reads up to the AGC/AEC target.
  Calls expected = PageCalls({std::begin(kFullRefresh), std::begin(kFullRefresh) + 10});
  expected.push_back("enabling");
  EXPECT_EQ(view.calls, expected);
}

// The reads of each change-mask bit, from the bit's register.
struct BitRow {
  int bit;
  std::vector<Read> reads;
};

const BitRow kBits[] = {
    {0, {{0x00, "list 0 = 0"}}},
    {1, {{0x01, "list 1 = 2"}}},
    {2, {{0x02, "slider 0 = 102"}}},
    {3, {{0x03, "slider 1 = 103"}}},
    {4, {{0x04, "slider 2 = 104"}}},
    {5, {{0x05, "slider 3 = 105"}}},
    {6, {{0x06, "slider 4 = 106"}}},
    {7, {{0x07, "slider 5 = 107"}}},
    {8, {{0x08, "slider 6 = 108"}}},
    {9, {{0x09, "slider 7 = 109"}}},
    {10, {{0x0A, "list 2 = 110"}}},
    {11, {{0x0B, "list 3 = 111"}}},
    {12, {{0x0C, "list 4 = 112"}}},
    {13, {{0x0D, "slider 24 = 113"}}},
    {14, {{0x0E, "slider 25 = 114"}}},
    {15, {{0x0F, "slider 23 = 115"}}},
    {16, {}},
    {17, {{0x11, "slider 8 = 117"}}},
    {18, {{0x12, "slider 9 = 118"}}},
    {19, {{0x13, "slider 10 = 119"}}},
    {20, {{0x14, "slider 11 = 120"}}},
    {21, {{0x15, "slider 12 = 121"}}},
    {22, {{0x16, "slider 13 = 122"}}},
    {23, {{0x17, "slider 14 = 123"}}},
    {24, {{0x18, "slider 15 = 124"}}},
    {25, {{0x19, "slider 16 = 125"}}},
    {26, {{0x1A, "slider 17 = 126"}}},
    {27, {{0x1B, "slider 18 = 127"}}},
    {28, {{0x1C, "slider 19 = 128"}}},
    {29, {{0x1D, "slider 20 = 129"}}},
    {30, {{0x1E, "slider 21 = 130"}}},
    {31, {{0x1F, "slider 28 = 131"}}},
    {32, {{0x20, "list 5 = 3"}, {0x20, "list 6 = 1"}, {0x20, "list 7 = 2"}, {0x20, "list 8 = 3"}}},
    {33,
     {{0x21, "list 11 = 1"}, {0x21, "list 12 = 3"}, {0x21, "list 13 = 2"}, {0x21, "list 14 = 1"}}},
    {34, {{0x22, "slider 22 = 7"}}},
    {35, {{0x23, "list 9 = 1"}, {0x23, "list 10 = 2"}}},
    {36, {}},
    {40, {}},
    {47, {}},
};

TEST_F(RefreshTest, EachChangeBitReadsItsRowThenRunsTheEnablingUpdate) {
  for (const BitRow& row : kBits) {
    SCOPED_TRACE(row.bit);
    view.calls.clear();
    deliveries = 0;
    unit().RaiseChangeMask(uint64_t{1} << row.bit);
    unit().ClearLog();
    refresh.ChangeRefresh();
    EXPECT_EQ(qeltest::OfRequest(0x12).size(), 1u);
    EXPECT_EQ(qeltest::IndicesOf(kRegRead), RegisterRequests(row.reads));
    Calls expected = PageCalls(row.reads);
    expected.push_back("enabling");
    EXPECT_EQ(view.calls, expected);
    EXPECT_EQ(deliveries, 1);
  }
}

TEST_F(RefreshTest, SeveralBitsAreVisitedInBitOrderInOneBatch) {
  unit().RaiseChangeMask((uint64_t{1} << 35) | (uint64_t{1} << 16) | (uint64_t{1} << 3));
  refresh.ChangeRefresh();
  EXPECT_EQ(view.calls, (Calls{"slider 1 = 103", "list 9 = 1", "list 10 = 2", "enabling"}));
  EXPECT_EQ(deliveries, 1);
}

TEST_F(RefreshTest, ChangeBitsOfA160KHeadReadTheSecondBank) {
  unit().SetHead(1);
  cisType = 1;
  unit().SetRegister(0x83, 222);
  unit().RaiseChangeMask(uint64_t{1} << 3);
  unit().ClearLog();
  refresh.ChangeRefresh();
  EXPECT_EQ(qeltest::IndicesOf(kRegRead), (std::vector<uint16_t>{kCisTypeRegister, 0x83}));
  EXPECT_EQ(view.calls, (Calls{"slider 1 = 222", "enabling"}));
}

TEST_F(RefreshTest, NoChangeCostsOneStatusRequestAndNoPageCall) {
  refresh.ChangeRefresh();
  EXPECT_EQ(unit().Log().size(), 1u);
  EXPECT_EQ(qeltest::OfRequest(0x12).size(), 1u);
  EXPECT_TRUE(view.calls.empty());
  EXPECT_EQ(deliveries, 0);
}

TEST_F(RefreshTest, AFailedStatusRequestSkipsTheCycleAndKeepsTheChanges) {
  unit().RaiseChangeMask(uint64_t{1} << 2);
  unit().FailControl(0, 1, 0x12);
  refresh.ChangeRefresh();
  EXPECT_TRUE(qeltest::OfRequest(kRegRead).empty());
  EXPECT_TRUE(view.calls.empty());
  refresh.ChangeRefresh();
  EXPECT_EQ(view.calls, (Calls{"slider 0 = 102", "enabling"}));
}

// Camera Info refresh from a fresh start, per head: the calls besides the full refresh's, and
// whether one ran.
struct HeadCase {
  const char* name;
  std::function<void(sim::Unit&)> setUp;
  Calls calls;
  bool fullRefresh;
};

TEST_F(RefreshTest, CameraInfoShowsEachKindOfHead) {
  const Calls noEeprom = {"rows off",   "title QEL_Viewer [40K]", "info 9101 No", "info 9112 40K",
                          "serial off", "cis-eeprom off"};
  auto formatted = [](const std::string& serial) {
    return [serial](sim::Unit& u) { ASSERT_TRUE(u.PreloadEeprom(1, HeadEeprom(serial, 7, 200))); };
  };
  const Calls formattedCalls = {
      "rows on",      "title QEL_Viewer [40K]", "info 9101 Yes",      "info 9102 QS-0042",
      "info 9103 7",  "slider 27 = 7",          "info 9104 200",      "slider 26 = 200",
      "info 9105 No", "info 9106 Yes",          "info 9109 -0.422dB", "info 9110 0.176dB",
      "info 9111 9",  "info 9112 40K"};
  Calls withDefects = formattedCalls;
  withDefects[8] = "info 9105 Yes";
  Calls fullSerial = formattedCalls;
  fullSerial[3] = "info 9102 ABCDEFGHIJKLMN";

  const HeadCase cases[] = {
      {"no head EEPROM", [](sim::Unit& u) { u.SetCisEeprom(0); }, noEeprom, false},
      {"no head", [](sim::Unit& u) { u.SetHead(sim::Unit::kNoHead); }, noEeprom, false},
      {"failed check", [](sim::Unit& u) { u.FailControl(0, 1, 0x12); }, noEeprom, false},
      {"blank head EEPROM",
       [](sim::Unit& u) { u.SetCisEeprom(1); },
       {"rows on", "title QEL_Viewer [40K]", "info 9101 Yes", "info 9112 40K", "cis-eeprom off"},
       false},
      {"formatted head", formatted("QS-0042"), formattedCalls, true},
      {"defect table 1 holds a pixel",
       [&](sim::Unit& u) {
         formatted("QS-0042")(u);
         u.WriteEeprom(1, 0x400, {0x00, 0x10, 0x00, 0x20});
       },
       withDefects, true},
      {"defect table 0 starts with a zero byte",
       [&](sim::Unit& u) {
         formatted("QS-0042")(u);
         u.WriteEeprom(1, 0x200, {0x00, 0xFF});
       },
       withDefects, true},
      {"serial filling all 14 bytes", formatted("ABCDEFGHIJKLMN"), fullSerial, true},
      {"records that cannot be read",
       [&](sim::Unit& u) {
         formatted("QS-0042")(u);
         u.FailControl(1, -1, qeltest::kEepromRead);  // all but the check's header read
       },
       {"rows on", "title QEL_Viewer [40K]", "info 9101 Yes", "info 9103 0", "slider 27 = 0",
        "info 9104 0", "slider 26 = 0", "info 9105 No", "info 9106 Yes", "info 9109 0.000dB",
        "info 9110 0.000dB", "info 9111 0", "info 9112 40K"},
       true},
  };
  for (const HeadCase& c : cases) {
    SCOPED_TRACE(c.name);
    unit().ClearFaults();
    unit().SetHead(0);
    unit().SetCisEeprom(2);
    c.setUp(unit());
    view.calls.clear();
    deliveries = 0;
    picture::PageRefresh fresh([this] { return &view; },
                               [this](std::function<void()> batch) {
                                 ++deliveries;
                                 batch();
                               },
                               cisType);
    fresh.CameraInfoRefresh();
    int fullRefreshes = 0;
    EXPECT_EQ(WithoutFullRefresh(&fullRefreshes), c.calls);
    EXPECT_EQ(fullRefreshes, c.fullRefresh ? 1 : 0);
    EXPECT_EQ(fresh.FullRefreshShown(), c.fullRefresh);
    EXPECT_EQ(deliveries, 1);
  }
}

TEST_F(RefreshTest, HeadBecomingInitialisedRefreshesOnceAndIdleCyclesCostNothing) {
  unit().SetCisEeprom(1);
  Cycle();
  int fullRefreshes = 0;
  WithoutFullRefresh(&fullRefreshes);
  EXPECT_EQ(fullRefreshes, 0);

  ASSERT_TRUE(unit().PreloadEeprom(1, HeadEeprom("QS-0042", 7, 200)));
  view.calls.clear();
  deliveries = 0;
  Cycle();
  EXPECT_EQ(WithoutFullRefresh(&fullRefreshes),
            (Calls{"info 9102 QS-0042", "info 9103 7", "slider 27 = 7", "info 9104 200",
                   "slider 26 = 200", "info 9105 No", "info 9106 Yes", "info 9109 -0.422dB",
                   "info 9110 0.176dB", "info 9111 9", "cis-eeprom on"}));
  EXPECT_EQ(fullRefreshes, 1);
  EXPECT_EQ(deliveries, 1);

  for (int idle = 0; idle < 3; ++idle) {
    view.calls.clear();
    deliveries = 0;
    unit().ClearLog();
    Cycle();
    EXPECT_FALSE(unit().Log().empty());  // the head is read every cycle
    EXPECT_TRUE(view.calls.empty());
    EXPECT_EQ(deliveries, 0);
  }
}

TEST_F(RefreshTest, ChangedRecordsRewriteOnlyTheirTextsAndSliders) {
  ASSERT_TRUE(unit().PreloadEeprom(1, HeadEeprom("QS-0042", 7, 200)));
  refresh.CameraInfoRefresh();
  view.calls.clear();
  ASSERT_TRUE(unit().WriteEeprom(1, 0x20, {8}));
  ASSERT_TRUE(unit().WriteEeprom(1, 0x32, {0x01, 0x02}));
  refresh.CameraInfoRefresh();
  EXPECT_EQ(view.calls, (Calls{"info 9103 8", "slider 27 = 8", "info 9110 -0.070dB"}));
}

TEST_F(RefreshTest, AnEmptiedBoxGetsEveryTextAgain) {
  ASSERT_TRUE(unit().PreloadEeprom(1, HeadEeprom("QS-0042", 7, 200)));
  refresh.CameraInfoRefresh();
  view.calls.clear();
  refresh.CameraInfoCleared();
  refresh.CameraInfoRefresh();
  int fullRefreshes = 0;
  EXPECT_EQ(
      WithoutFullRefresh(&fullRefreshes),
      (Calls{"title QEL_Viewer [40K]", "info 9101 Yes", "info 9102 QS-0042", "info 9103 7",
             "slider 27 = 7", "info 9104 200", "slider 26 = 200", "info 9105 No", "info 9106 Yes",
             "info 9109 -0.422dB", "info 9110 0.176dB", "info 9111 9", "info 9112 40K"}));
  EXPECT_EQ(fullRefreshes, 0);  // the head's state did not change
}

TEST_F(RefreshTest, AMonitorStartBeginsAsNewPagesDo) {
  for (int state : {0, 2}) {
    SCOPED_TRACE(state);
    unit().SetCisEeprom(state);
    refresh.ResetCameraInfoCache();
    view.calls.clear();
    refresh.CameraInfoRefresh();
    const Calls first = view.calls;
    view.calls.clear();
    refresh.CameraInfoRefresh();
    EXPECT_TRUE(view.calls.empty());
    refresh.ResetCameraInfoCache();
    refresh.CameraInfoRefresh();
    EXPECT_EQ(view.calls, first);
  }
}

TEST_F(RefreshTest, AFullRefreshForANewHeadTypeSelectsEveryListInTheSameBatch) {
  refresh.FullRefreshForNewHeadType();
  ASSERT_EQ(view.calls.size(), std::size(kFullRefresh) + 2);
  EXPECT_EQ(view.calls.front(), "forced on");
  EXPECT_EQ(view.calls[view.calls.size() - 2], "enabling");
  EXPECT_EQ(view.calls.back(), "forced off");
  EXPECT_EQ(deliveries, 1);
}

TEST_F(RefreshTest, HeadSwappedBetweenCyclesShowsTheNewHead) {
  ASSERT_TRUE(unit().PreloadEeprom(1, HeadEeprom("QS-0042", 7, 200)));
  ASSERT_TRUE(unit().SetHead(1));
  ASSERT_TRUE(unit().PreloadEeprom(1, HeadEeprom("HD-160", 7, 100)));
  ASSERT_TRUE(unit().SetHead(0));
  Cycle();
  view.calls.clear();

  ASSERT_TRUE(unit().SetHead(1));
  cisType = 1;
  Cycle();
  EXPECT_EQ(view.calls, (Calls{"title QEL_Viewer [160K]", "info 9102 HD-160", "info 9104 100",
                               "slider 26 = 100", "info 9112 160K"}));

  view.calls.clear();
  ASSERT_TRUE(unit().SetHead(sim::Unit::kNoHead));
  Cycle();
  EXPECT_EQ(view.calls, (Calls{"rows off", "info 9101 No", "info 9102 ", "info 9103 ", "info 9104 ",
                               "info 9105 ", "info 9106 ", "info 9109 ", "info 9110 ", "info 9111 ",
                               "serial off", "cis-eeprom off"}));
}

}  // namespace
