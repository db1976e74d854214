// qelctl's Calibration page commands on the simulated unit: CSV runs of raw frames, defect pixel
// detection and tables, gamma tables; their refusals, outputs and files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/calibration/CsvText.h"
#include "tests/qelctl/QelctlRun.h"

namespace {

using caltest::CsvRows;
using qelctltest::ExpectOneErrorLine;
using qelctltest::Joined;
using qelctltest::Outcome;
using qelctltest::Qelctl;
using qelctltest::Slurp;
using ::testing::HasSubstr;

const std::string kSim = "--simulate";
const std::string kDir = ::testing::TempDir() + "qelctl_calibration_";

// One run on the simulated unit whose state the file keeps from run to run.
Outcome WithState(const std::string& state, const std::vector<std::string>& args) {
  std::vector<std::string> line{"--simulate-state", state};
  line.insert(line.end(), args.begin(), args.end());
  return Qelctl(line);
}

std::string Write(const std::string& name, const std::string& text) {
  const std::string path = kDir + name;
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The simulated 40K head's stuck pixels, as the page lists them after a detection.
const char* const kDark40K =
    "Dark (3)\n--------------------\n1 : (23,41) Val = 0\n2 : (131,77) Val = 0\n"
    "3 : (88,150) Val = 0\n";
const char* const kBright40K =
    "Bright (4)\n--------------------\n1 : (57,19) Val = 255\n2 : (170,112) Val = 255\n"
    "3 : (36,171) Val = 255\n4 : (112,183) Val = 255\n";

TEST(QelctlCalibration, RefusalsInOneLine) {
  const std::string badList = Write("bad.txt", "Dark (1)\n--------------------\n1 : (2,3\n");
  const std::string farList = Write("far.txt", "1 : (511,3)\n");
  std::string tooLong;
  for (int i = 1; i <= 33; ++i) tooLong += std::to_string(i) + " : (1,1)\n";
  const std::string longList = Write("long.txt", tooLong);
  const std::string badGamma = Write("value.csv", "# curve\n1,2,3\n4,1024,5\n");
  const std::string outside = Write("outside.txt", "1 : (5,5)\n2 : (300,300)\n");
  const struct {
    std::vector<std::string> args;
    int exitCode;
    std::string words;
  } cases[] = {
      {{kSim, "csv"}, 2, "BASE is required"},
      {{kSim, "csv", "--frames", "0", kDir + "r.csv"}, 2, "--frames 0 is outside 1..100"},
      {{kSim, "csv", "--frames", "101", kDir + "r.csv"}, 2, "--frames 101 is outside 1..100"},
      {{kSim, "csv", "/nonexistent/r.csv"},
       1,
       "/nonexistent/r_001.csv: CSV File Save Error!: No such file or directory"},
      {{"csv", kDir + "r.csv"}, 1, "no camera unit connected"},
      {{kSim, "csv", ""}, 2, "BASE '' names no file in front of _NNN.csv"},
      {{kSim, "defects"}, 2, "a command is required"},
      {{kSim, "defects", "detect"}, 2, "--type is required"},
      {{kSim, "defects", "detect", "--type", "grey"}, 2, "--type"},
      {{kSim, "defects", "detect", "--type", "dark", "--threshold", "256"},
       2,
       "--threshold 256 is outside 0..255"},
      {{kSim, "defects", "detect", "--type", "dark", "--excluded", "101"},
       2,
       "--excluded 101 is outside 0..100"},
      {{"--simulate=160k", "defects", "detect", "--type", "dark", "--excluded", "201"},
       2,
       "--excluded 201 is outside 0..200"},
      {{kSim, "defects", "upload", "--type", "dark"}, 2, "FILE is required"},
      {{kSim, "defects", "upload", "--type", "dark", kDir + "none.txt"}, 1, "cannot read"},
      {{kSim, "defects", "upload", "--type", "dark", badList},
       2,
       "bad.txt line 3 is not a line of a defect pixel list"},
      {{kSim, "defects", "upload", "--type", "bright", farList}, 2, "coordinates above 510"},
      {{kSim, "defects", "upload", "--type", "bright", longList}, 2, "more than 32 entries"},
      {{kSim, "defects", "upload", "--type", "dark", ::testing::TempDir()}, 2, "is a directory"},
      {{kSim, "defects", "upload", "--type", "dark", "/dev/null"}, 2, "lists no defect pixel"},
      {{kSim, "defects", "upload", "--type", "dark", "/dev/zero"}, 2, "larger than a defect"},
      // Full-frame coordinates of the image only: the boundary ring and beyond are refused.
      {{kSim, "defects", "upload", "--type", "dark", outside},
       2,
       "outside.txt: (300,300) lies outside the image of the 40K head (1..200)"},
      {{kSim, "gamma"}, 2, "a command is required"},
      {{kSim, "gamma", "upload", kDir + "none.csv"}, 1, "Gamma upload load error"},
      {{kSim, "gamma", "upload", badList},
       1,
       "Gamma upload load error: " + badList + ": only 0 of"},
      {{kSim, "gamma", "upload", badGamma}, 1, "line 3: value 1024 is outside 0..1023"},
      {{kSim, "gamma", "upload", "/dev/zero"}, 1, "Gamma upload load error: /dev/zero: larger"},
      {{kSim, "gamma", "download", "/nonexistent/g.csv"},
       1,
       "Gamma download save error: /nonexistent/g.csv: No such file or directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const Outcome run = Qelctl(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    ExpectOneErrorLine(run, c.words);
  }
}

// The list texts of the page, one line end each, for both head types and both defect types.
TEST(QelctlCalibration, DetectionListsTheStuckPixels) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{kSim, "defects", "detect", "--type", "dark", "--threshold", "64"}, kDark40K},
      {{kSim, "defects", "detect", "--type", "BRIGHT", "--threshold", "224"}, kBright40K},
      // (23,41) lies in the top-left corner triangle with legs of 63 pixels.
      {{kSim, "defects", "detect", "--type", "dark", "--threshold", "64", "--excluded", "63"},
       "Dark (2)\n--------------------\n1 : (131,77) Val = 0\n2 : (88,150) Val = 0\n"},
      {{"--simulate=160k", "defects", "detect", "--type", "dark", "--threshold", "0x40"},
       "Dark (4)\n--------------------\n1 : (47,83) Val = 0\n2 : (262,153) Val = 0\n"
       "3 : (176,301) Val = 0\n4 : (330,340) Val = 0\n"},
      // The default threshold 128 lies below the flat field: every pixel is bright, and the
      // first 32 of the first row are listed.
      {{kSim, "defects", "detect", "--type", "bright"}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const Outcome run = Qelctl(c.args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    if (!c.out.empty()) {
      EXPECT_EQ(run.out, c.out);
    } else {
      EXPECT_THAT(run.out, HasSubstr("Bright (32)\n"));
      EXPECT_THAT(run.out, HasSubstr("\n32 : (32,1) Val = "));
    }
  }
}

// Detected, uploaded and corrected: the unit hides the pixels from the next detection on.
TEST(QelctlCalibration, UploadedTableHidesTheStuckPixelsOnceCorrectionIsOn) {
  const std::string state = kDir + "defects_state.bin";
  std::remove(state.c_str());
  const std::string list = kDir + "dark.txt";
  const struct {
    std::vector<std::string> args;
    std::string out;
  } steps[] = {
      {{"defects", "download", "--type", "dark"}, "Dark (0)\n--------------------\n"},
      {{"defects", "detect", "--type", "dark", "--threshold", "64"}, kDark40K},
      {{"defects", "upload", "--type", "dark", list}, "Defect Pixel Table upload complete\n"},
      {{"defects", "download", "--type", "dark"},
       "Dark (3)\n--------------------\n1 : (23,41)\n2 : (131,77)\n3 : (88,150)\n"},
      {{"defects", "download", "--type", "bright"}, "Bright (0)\n--------------------\n"},
      {{"defects", "detect", "--type", "dark", "--threshold", "64"}, kDark40K},
      {{"set", "DP_Corr", "1"}, ""},
      {{"defects", "detect", "--type", "dark", "--threshold", "64"},
       "Dark (0)\n--------------------\n"},
      {{"defects", "detect", "--type", "bright", "--threshold", "224"}, kBright40K},
      {{"defects", "save", "--type", "dark"}, "Defect Pixel Table save complete\n"},
      {{"defects", "clear", "--type", "dark"}, "Defect Pixel Table clear complete\n"},
      {{"defects", "download", "--type", "dark"}, "Dark (0)\n--------------------\n"},
      {{"defects", "detect", "--type", "dark", "--threshold", "64"}, kDark40K},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(Joined(step.args));
    const Outcome run = WithState(state, step.args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, step.out);
    // The detection's list is the next upload's file.
    if (step.args[1] == "detect" && step.out == kDark40K) Write("dark.txt", run.out);
  }
  std::remove(state.c_str());
}

TEST(QelctlCalibration, CsvRunsWriteOneFilePerFrame) {
  const struct {
    std::vector<std::string> args;
    int files;
    int side;
    // A stuck pixel in file coordinates and its level: present only in raw data.
    int row, column, level;
  } cases[] = {
      {{kSim, "csv", "--frames", "3", kDir + "a.csv"}, 3, 200, 40, 22, 0},
      {{kSim, "csv", kDir + "b.CSV"}, 1, 200, 18, 56, 1023},
      {{"--simulate=160k", "csv", "--boundary", "--frames", "2", kDir + "c.csv"},
       2,
       404,
       37,
       115,
       1023},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Joined(c.args));
    const std::string base = c.args.back().substr(0, c.args.back().size() - 4);
    const Outcome run = Qelctl(c.args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::string expected;
    for (int i = 1; i <= c.files; ++i) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "_%03d.csv", i);
      expected += base + suffix + "\n";
      const auto rows = CsvRows(Slurp(base + suffix));
      ASSERT_EQ(rows.size(), size_t(c.side)) << suffix;
      for (const auto& row : rows) ASSERT_EQ(row.size(), size_t(c.side));
      EXPECT_EQ(rows[size_t(c.row)][size_t(c.column)], c.level);
      std::remove((base + suffix).c_str());
    }
    const std::string side = std::to_string(c.side);
    expected += std::to_string(c.files) + " frames of " + side + "x" + side + " levels";
    EXPECT_EQ(run.out.substr(0, expected.size()), expected);
    EXPECT_TRUE(std::regex_search(run.out, std::regex(", [0-9]+ skipped between them\n$")))
        << run.out;
  }
}

std::string GammaLines(int (*value)(int)) {
  std::string text;
  for (int i = 0; i < 1024; ++i) {
    const std::string v = std::to_string(value(i));
    text += v + "," + v + "," + v + "\r\n";
  }
  return text;
}

TEST(QelctlCalibration, GammaTablesRoundTrip) {
  const std::string state = kDir + "gamma_state.bin";
  std::remove(state.c_str());
  const std::string inverse = GammaLines([](int i) { return 1023 - i; });
  const std::string in = Write("inverse.csv", inverse);
  const std::string out = kDir + "out.csv";
  const struct {
    std::vector<std::string> args;
    std::string out;
    std::string file;  // what out.csv holds afterwards, when given
  } steps[] = {
      {{"gamma", "clear"}, "Gamma clear complete\n", ""},
      {{"gamma", "download", out}, "Gamma download complete\n", GammaLines([](int i) {
         return i;
       })},
      {{"gamma", "upload", in}, "Gamma upload complete\n", ""},
      {{"gamma", "download", out}, "Gamma download complete\n", inverse},
      {{"gamma", "save"}, "Gamma save complete\n", ""},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(Joined(step.args));
    const Outcome run = WithState(state, step.args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, step.out);
    if (!step.file.empty()) {
      EXPECT_EQ(Slurp(out), step.file);
    }
  }
  std::remove(state.c_str());
  std::remove(out.c_str());
}

}  // namespace
