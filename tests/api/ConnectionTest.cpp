// Library lifecycle, versions, status and the framing of the information requests.
#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "FrameHelpers.h"
#include "SimFixture.h"

namespace qeltest {
namespace {

int ThreadCount() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

TEST(Lifecycle, VersionIsZeroBeforeTheFirstInit) {
  // Re-executed in a fresh process, whatever other tests of this program did before.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        uint32_t version = 1;
        const int result = QEL_GetVersion(&version);
        std::exit(result == 0 && version == 0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Lifecycle, ProgramMayEndWithoutTerm) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        QELSIM_Enable(1);
        QEL_Init();
        WaitFor(Connected);
        WaitFor([] { return FrameIndex() > 0; });
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(Lifecycle, TermWithoutInit) {
  EXPECT_EQ(QEL_Term(), 0);
  EXPECT_EQ(QEL_GetVersion(nullptr), -1);
  EXPECT_EQ(QEL_GetStatus(nullptr), -1);
  int status = 7;
  EXPECT_EQ(QEL_GetStatus(&status), 0);
  EXPECT_EQ(status, 0);
  unsigned char info[48];
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 1);
}

TEST(Lifecycle, InitTwiceStartsOneThreadAndTermStopsThem) {
  sim::Unit::Instance().Reset();
  QELSIM_Enable(1);
  const int before = ThreadCount();
  ASSERT_EQ(QEL_Init(), 0);
  ASSERT_TRUE(WaitFor(Connected));
  const int running = ThreadCount();
  EXPECT_GT(running, before);
  EXPECT_EQ(QEL_Init(), 0);
  EXPECT_EQ(ThreadCount(), running);

  uint32_t version = 0;
  EXPECT_EQ(QEL_GetVersion(&version), 0);
  EXPECT_EQ(version, 0x01000200u);

  EXPECT_EQ(QEL_Term(), 0);
  // The connection and acquisition threads are gone (sanitizers may add a thread of their own
  // meanwhile, so count down from the running state).
  EXPECT_EQ(ThreadCount(), running - 2);
  int status = 1;
  QEL_GetStatus(&status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(QEL_Term(), 0);

  // A second start after a stop works the same.
  ASSERT_EQ(QEL_Init(), 0);
  EXPECT_TRUE(WaitFor(Connected));
  EXPECT_EQ(QEL_Term(), 0);
}

TEST(Lifecycle, StatusFollowsPlugging) {
  sim::Unit& unit = sim::Unit::Instance();
  unit.Reset();
  unit.SetPlugged(false);
  QELSIM_Enable(1);
  ASSERT_EQ(QEL_Init(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  EXPECT_FALSE(Connected());

  // The unit is seen within one 50 ms presence cycle; opening the simulated unit and starting
  // acquisition take well under a millisecond. Scheduling on a loaded machine gets 40 ms on
  // top, still below a second cycle.
  using std::chrono::milliseconds;
  constexpr milliseconds kCycle{50};
  constexpr milliseconds kSlack{40};
  const auto plugged = std::chrono::steady_clock::now();
  unit.SetPlugged(true);
  ASSERT_TRUE(WaitFor(Connected, 1000));
  EXPECT_LE(std::chrono::steady_clock::now() - plugged, kCycle + kSlack)
      << "the unit was not looked for every 50 ms";

  const auto pulled = std::chrono::steady_clock::now();
  unit.SetPlugged(false);
  ASSERT_TRUE(WaitFor([] { return !Connected(); }, 1000));
  EXPECT_LE(std::chrono::steady_clock::now() - pulled, kCycle + kSlack);
  QEL_Term();
  unit.Reset();
}

class Framing : public SimFixture {};

// However short the pull, the status stays 0 for two periods of a monitor that asks every 100 ms
// before the unit, back at its power-up values, is connected again.
TEST_F(Framing, EveryPullKeepsTheStatusDownForTwoMonitorPeriods) {
  constexpr std::chrono::milliseconds kMonitorPeriod{100};
  for (int pullMs : {10, 20, 40}) {
    SCOPED_TRACE(pullMs);
    ASSERT_TRUE(WaitFor(Connected));
    // Taken while the status is 1: the span up to the first 1 after the pull holds every 0.
    const auto before = std::chrono::steady_clock::now();
    unit().SetPlugged(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(pullMs));
    unit().SetPlugged(true);
    // A transfer works again only on a device opened after the pull.
    bool sawDown = false;
    ASSERT_TRUE(WaitFor([&] {
      if (!Connected()) sawDown = true;
      return Connected() && QEL_GetDevInfo(0, nullptr) == 0;
    }));
    EXPECT_TRUE(sawDown);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 2 * kMonitorPeriod);
  }
}

TEST_F(Framing, DeviceInformationCopiesAtMost48Bytes) {
  unsigned char info[64];
  std::memset(info, 0xAA, sizeof info);
  ASSERT_EQ(QEL_GetDevInfo(sizeof info, info), 0);
  for (size_t i = 48; i < sizeof info; ++i) EXPECT_EQ(info[i], 0xAA) << i;
  EXPECT_NE(info[2] | info[3], 0) << "firmware version";

  unsigned char small[8];
  std::memset(small, 0xAA, sizeof small);
  ASSERT_EQ(QEL_GetDevInfo(4, small), 0);
  EXPECT_EQ(std::memcmp(small, info, 4), 0);
  EXPECT_EQ(small[4], 0xAA);

  const auto log = unit().Log();
  ASSERT_EQ(log.size(), 2u);
  for (const auto& record : log) {
    EXPECT_EQ(record.setup.requestType, 0xC0);
    EXPECT_EQ(record.setup.request, 0x10);
    EXPECT_EQ(record.setup.value, 0);
    EXPECT_EQ(record.setup.index, 0);
    EXPECT_EQ(record.setup.length, 48);
  }
}

TEST_F(Framing, FormatRecordIndexKeepsBitZero) {
  unsigned char record[8];
  ASSERT_EQ(QEL_GetDevFormatInfo(3, sizeof record, record), 0);
  ASSERT_EQ(QEL_GetDevFormatInfo(0, sizeof record, record), 0);
  const auto log = unit().Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].setup.request, 0x11);
  EXPECT_EQ(log[0].setup.index, 1);
  EXPECT_EQ(log[0].setup.length, 8);
  EXPECT_EQ(log[1].setup.index, 0);
}

TEST_F(Framing, FailedTransferLeavesBufferUntouched) {
  unit().FailControl(0, 1);
  unsigned char info[48];
  std::memset(info, 0x5A, sizeof info);
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 1);
  for (unsigned char byte : info) ASSERT_EQ(byte, 0x5A);
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, nullptr), -1);
  EXPECT_EQ(QEL_GetDevInfo(sizeof info, info), 0);
}

TEST_F(Framing, NothingIsSentWhileUnplugged) {
  unit().SetPlugged(false);
  ASSERT_TRUE(WaitFor([] { return !Connected(); }));
  unit().ClearLog();
  unsigned char buffer[48];
  EXPECT_EQ(QEL_GetDevInfo(sizeof buffer, buffer), 1);
  EXPECT_EQ(QEL_GetDevFormatInfo(0, 8, buffer), 1);
  EXPECT_TRUE(unit().Log().empty());

  unit().SetPlugged(true);
  ASSERT_TRUE(WaitFor(Connected));
  EXPECT_EQ(QEL_GetDevInfo(sizeof buffer, buffer), 0);
}

}  // namespace
}  // namespace qeltest
