// The Calibration page tools' shared state without the page: CSV runs started, stepped and
// aborted from two threads, and the defect table snapshot the live overlay reads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "tests/api/SimFixture.h"
#include "viewer/calibration/core/CalibrationTools.h"
#include "viewer/live/core/image/Render.h"

namespace calibration {
namespace {

namespace fs = std::filesystem;

// A raw 40K frame at level 0 with its markers.
std::vector<uint8_t> RawFrame() {
  std::vector<uint8_t> frame(live::FrameBytes(0), 0);
  const uint8_t first[] = {0x00, 0xFF, 0x80, 0x00};
  const uint8_t last[] = {0x00, 0xFF, 0x9D, 0x00};
  std::copy(std::begin(first), std::end(first), frame.begin());
  std::copy(std::begin(last), std::end(last), frame.end() - 4);
  return frame;
}

class CsvRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qel_csvrun_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::optional<CsvRun::Report> Step() {
    return run.Step(frame.data(), uint32_t(frame.size()), 0, false, true);
  }

  fs::path dir;
  CsvRun run;
  std::vector<uint8_t> frame = RawFrame();
};

TEST_F(CsvRunTest, AbortEndsTheRunAndMakesItsReportsStale) {
  EXPECT_FALSE(Step()) << "nothing runs yet";
  EXPECT_FALSE(run.Abort());

  const int first = run.Start((dir / "a.csv").string(), 5);
  EXPECT_TRUE(run.Active());
  const std::optional<CsvRun::Report> report = Step();
  ASSERT_TRUE(report);
  EXPECT_EQ(report->run, first);
  EXPECT_EQ(report->step.progress, 96);
  EXPECT_TRUE(run.Current(first));
  // A second choice while the run goes on only moves its files.
  EXPECT_EQ(run.Start((dir / "b.csv").string(), 1), first);
  ASSERT_TRUE(Step());

  EXPECT_TRUE(run.Abort());
  EXPECT_FALSE(run.Active());
  EXPECT_FALSE(run.Current(first)) << "a step reported before the abort is stale";
  EXPECT_FALSE(Step());
  EXPECT_TRUE(fs::exists(dir / "a_001.csv"));
  EXPECT_TRUE(fs::exists(dir / "b_002.csv"));
  EXPECT_FALSE(fs::exists(dir / "b_003.csv"));

  // A new run counts from its first file again, with a new number.
  const int second = run.Start((dir / "c.csv").string(), 1);
  EXPECT_NE(second, first);
  const std::optional<CsvRun::Report> last = Step();
  ASSERT_TRUE(last);
  EXPECT_EQ(last->run, second);
  EXPECT_TRUE(last->step.finished);
  EXPECT_TRUE(fs::exists(dir / "c_001.csv"));
  EXPECT_FALSE(run.Active());
  EXPECT_TRUE(run.Current(second)) << "the run that ended last stays current";
}

// The display thread steps every frame while the GUI thread starts and aborts runs: every
// report names a run that was started, and every run's files are an unbroken series.
TEST_F(CsvRunTest, StartsAndAbortsAgainstAStepperThread) {
  std::atomic<bool> stop{false};
  std::vector<int> reported;
  std::thread display([&] {
    while (!stop.load()) {
      if (const auto report = Step()) reported.push_back(report->run);
    }
  });
  std::set<int> started;
  for (int i = 0; i < 40; ++i) {
    started.insert(run.Start((dir / ("r" + std::to_string(i) + ".csv")).string(), 3));
    std::this_thread::sleep_for(std::chrono::microseconds(300 * (i % 4)));
    run.Abort();
  }
  stop = true;
  display.join();
  for (int r : reported) EXPECT_TRUE(started.count(r)) << r;
  for (int i = 0; i < 40; ++i) {
    bool gap = false;
    for (int k = 1; k <= 3; ++k) {
      const bool exists =
          fs::exists(dir / ("r" + std::to_string(i) + "_00" + std::to_string(k) + ".csv"));
      EXPECT_FALSE(exists && gap) << i << " " << k;
      gap = gap || !exists;
    }
  }
  EXPECT_FALSE(fs::exists(dir / "r0_004.csv"));
}

class DefectToolTest : public qeltest::SimFixture {};

// The overlay reads the table on the display thread while the buttons change it: a snapshot is
// always one whole table.
TEST_F(DefectToolTest, SnapshotsAreWholeTables) {
  DefectTool tool;
  tool.Detect({255, kDefectDark, 0}, 0);
  const DefectTable detected = tool.Table();
  const DefectTable cleared = ClearedDefectTable();
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread display([&] {
    while (!stop.load()) {
      const DefectTable seen = tool.Snapshot();
      if (seen != detected && seen != cleared) ++torn;
    }
  });
  unit().SetLogging(false);
  unit().SetFrameRate(0);  // fresh frames as fast as the bus carries them
  for (int i = 0; i < 100; ++i) {
    tool.Reset(kDefectDark);
    tool.Download(kDefectDark);  // the unit's table is still empty
    tool.Detect({255, kDefectDark, 0}, 0);
  }
  stop = true;
  display.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
}  // namespace calibration
