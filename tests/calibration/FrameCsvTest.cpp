// Frame CSV export: levels and exported area, file names, the frame count field and a run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/calibration/CsvText.h"
#include "tests/calibration/FileSizeLimit.h"
#include "tests/calibration/RawFrame.h"
#include "viewer/calibration/core/FrameCsv.h"
#include "viewer/files/Files.h"

namespace calibration {
namespace {

namespace fs = std::filesystem;
using caltest::CsvRows;
using caltest::RawFrame;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// A frame whose pixel (x, y) carries the level (x * 7 + y * 13) % 1024 in the upper ten bits of
// its second word and noise in the lower six, which the export drops.
RawFrame PatternFrame(int cisType) {
  RawFrame frame(cisType);
  for (int y = 0; y < frame.g.n; ++y) {
    for (int x = 0; x < frame.g.n; ++x) {
      const int level = (x * 7 + y * 13) % 1024;
      frame.SetWord(x, y, static_cast<uint16_t>(level << 6 | ((x ^ y) & 0x3F)));
    }
  }
  return frame;
}

TEST(FrameCsv, ExportedAreaWithAndWithoutBoundaryPixels) {
  const struct {
    int cisType;
    bool boundary;
    int side;
    int first;  // frame row and column of the first value
  } cases[] = {{0, false, 200, 1}, {0, true, 202, 0}, {1, false, 400, 2}, {1, true, 404, 0}};
  std::string text;
  for (const auto& c : cases) {
    const RawFrame frame = PatternFrame(c.cisType);
    FormatFrameCsv(frame.bytes.data(), frame.g, c.boundary, text);
    const auto rows = CsvRows(text);
    ASSERT_EQ(rows.size(), size_t(c.side)) << c.cisType << c.boundary;
    for (int r = 0; r < c.side; ++r) {
      ASSERT_EQ(rows[size_t(r)].size(), size_t(c.side)) << r;
      for (int col = 0; col < c.side; ++col) {
        const int x = c.first + col;
        const int y = c.first + r;
        ASSERT_EQ(rows[size_t(r)][size_t(col)], (x * 7 + y * 13) % 1024) << x << "," << y;
      }
    }
  }
}

TEST(FrameCsv, LevelIsTheSecondWordOverSixtyFour) {
  const struct {
    uint16_t word;
    const char* text;
  } cases[] = {{0xFFC0, "1023"}, {0x0040, "1"},  {0x003F, "0"},  {0xFFFF, "1023"},
               {0x8000, "512"},  {0x0280, "10"}, {0x1900, "100"}};
  std::string text;
  for (const auto& c : cases) {
    RawFrame frame(0, 0);
    frame.SetWord(1, 1, c.word);
    FormatFrameCsv(frame.bytes.data(), frame.g, false, text);
    EXPECT_EQ(text.substr(0, text.find(',')), c.text) << std::hex << c.word;
    EXPECT_EQ(text.substr(text.find(','), 4), ",0,0");
  }
}

TEST(FrameCsv, FileNameCutsOnlyACsvEnding) {
  const struct {
    const char* base;
    int counter;
    const char* name;
  } cases[] = {
      {"40K_200x200_20260314_093005.csv", 1, "40K_200x200_20260314_093005_001.csv"},
      {"40K_200x200_20260314_093005.csv", 3, "40K_200x200_20260314_093005_003.csv"},
      {"run.CSV", 12, "run_012.csv"},
      {"run.Csv", 100, "run_100.csv"},
      {"data.txt", 1, "data.txt_001.csv"},
      {"frames", 1, "frames_001.csv"},
      {"abc", 2, "abc_002.csv"},
      {".csv", 1, "_001.csv"},
      {"", 1, "_001.csv"},
      {"/tmp/x.csv/y", 1, "/tmp/x.csv/y_001.csv"},
      {"a.csvx", 1, "a.csvx_001.csv"},
      {"a_csv", 1, "a_csv_001.csv"},
  };
  for (const auto& c : cases) EXPECT_EQ(CsvFileName(c.base, c.counter), c.name) << c.base;
}

class CsvRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qel_csv_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  fs::path dir;
  CsvExport run;
  RawFrame frame{0, 0xFFC0};
  uint32_t Length() const { return uint32_t(frame.bytes.size()); }
};

TEST_F(CsvRun, ThreeFramesCountTheProgressUpToOneHundred) {
  run.Start((dir / "run.csv").string(), 3);
  ASSERT_TRUE(run.Active());
  const int expected[] = {98, 99, 100};
  for (int i = 0; i < 3; ++i) {
    const CsvExport::Step step = run.Next(frame.bytes.data(), Length(), 0, false, true);
    EXPECT_EQ(step.progress, expected[i]);
    EXPECT_FALSE(step.failed);
    EXPECT_EQ(step.finished, i == 2);
  }
  EXPECT_FALSE(run.Active());
  for (const char* name : {"run_001.csv", "run_002.csv", "run_003.csv"}) {
    const auto rows = CsvRows(ReadFile(dir / name));
    ASSERT_EQ(rows.size(), 200u) << name;
    EXPECT_EQ(rows[199][199], 1023);
  }
  EXPECT_FALSE(fs::exists(dir / "run_004.csv"));

  // A new run restarts the counter and overwrites.
  run.Start((dir / "run.csv").string(), 1);
  const CsvExport::Step step = run.Next(frame.bytes.data(), Length(), 0, true, true);
  EXPECT_TRUE(step.finished);
  EXPECT_EQ(step.progress, 100);
  EXPECT_EQ(CsvRows(ReadFile(dir / "run_001.csv")).size(), 202u);
}

TEST_F(CsvRun, FailuresEndTheRunAndKeepTheFilesWrittenBefore) {
  // The unit stopped sending raw data after one frame.
  run.Start((dir / "raw.csv").string(), 5);
  EXPECT_FALSE(run.Next(frame.bytes.data(), Length(), 0, false, true).finished);
  const CsvExport::Step step = run.Next(frame.bytes.data(), Length(), 0, false, false);
  EXPECT_TRUE(step.finished);
  EXPECT_TRUE(step.failed);
  EXPECT_EQ(step.progress, 97);
  EXPECT_FALSE(run.Active());
  EXPECT_TRUE(fs::exists(dir / "raw_001.csv"));
  EXPECT_FALSE(fs::exists(dir / "raw_002.csv"));

  // A folder that does not exist, and a frame shorter than its head type's.
  const struct {
    fs::path base;
    uint32_t length;
  } cases[] = {{dir / "missing" / "x.csv", Length()}, {dir / "short.csv", Length() - 4}};
  for (const auto& c : cases) {
    run.Start(c.base.string(), 2);
    const CsvExport::Step failed = run.Next(frame.bytes.data(), c.length, 0, false, true);
    EXPECT_TRUE(failed.failed && failed.finished) << c.base;
  }
  EXPECT_FALSE(fs::exists(dir / "short_001.csv"));
}

TEST_F(CsvRun, FullDiskIsAFailureNotACompletion) {
  run.Start((dir / "full.csv").string(), 2);
  {
    // Room for less than one file (a 40K frame gives 160,200 bytes of text at 1023 a level).
    caltest::FileSizeLimit full(100000);
    const CsvExport::Step step = run.Next(frame.bytes.data(), Length(), 0, false, true);
    EXPECT_TRUE(step.failed);
    EXPECT_TRUE(step.finished);
    EXPECT_FALSE(files::WriteWholeFile((dir / "small.txt").string(), std::string(100001, 'x')));
  }
  EXPECT_TRUE(files::WriteWholeFile((dir / "small.txt").string(), std::string(100001, 'x')));
}

TEST_F(CsvRun, AStartDuringARunOnlyTakesTheNewPath) {
  run.Start((dir / "a.csv").string(), 2);
  run.Next(frame.bytes.data(), Length(), 0, false, true);
  run.Start((dir / "b.csv").string(), 50);
  const CsvExport::Step step = run.Next(frame.bytes.data(), Length(), 0, false, true);
  EXPECT_TRUE(step.finished);
  EXPECT_TRUE(fs::exists(dir / "a_001.csv"));
  EXPECT_TRUE(fs::exists(dir / "b_002.csv"));
  EXPECT_EQ(run.CurrentPath(), (dir / "b_002.csv").string());
}

}  // namespace
}  // namespace calibration
