// The settings file against the simulated unit: its 47 lines, the round trip of all 46 values,
// keys that are not checked, and damaged files that must not reach the unit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "tests/capture/CaptureTestSupport.h"
#include "viewer/capture/core/SettingsFile.h"
#include "viewer/picture/core/Controls.h"

namespace {

using qeltest::kRegRead;
using qeltest::kRegWrite;
using qeltest::OfRequest;

// The keys of the 46 value lines, in file order.
const char* const kKeys[] = {"//ControlMode1",
                             "//ControlMode2",
                             "//BlackLevel",
                             "//ExposureTime",
                             "//RawGain",
                             "//AGC_AEC_Target",
                             "//Hysteresis1",
                             "//Hysteresis2",
                             "//Hysteresis3",
                             "//Hysteresis4",
                             "//ControlSpeed",
                             "//ControlMonitor1",
                             "//ControlMonitor2",
                             "//AWB",
                             "//GainRB1",
                             "//GainRB2",
                             "//ColorMatrix1",
                             "//ColorMatrix2",
                             "//ColorMatrix3",
                             "//ColorMatrix4",
                             "//ColorMatrix5",
                             "//ColorMatrix6",
                             "//ColorMatrix7",
                             "//ColorMatrix8",
                             "//ColorMatrix9",
                             "//GainYC1",
                             "//GainYC2",
                             "//GainYC3",
                             "//Gamma",
                             "//ImageFlip",
                             "//ImageRotation",
                             "//DVI_ImageSize",
                             "//DP_Corr",
                             "//FPN_Corr",
                             "//ImageFineAdj",
                             "//NoiseReduction",
                             "//EdgeEnhancement",
                             "//VFPN_Corr",
                             "//DVI_Resolution",
                             "//LightLevel",
                             "//MinLightLevel",
                             "//ALC_Param",
                             "//ALC_Target",
                             "//CIS_VoutCurrent",
                             "//CIS_ConnectionDet",
                             "//CIS_OverCurrentDet"};
static_assert(std::size(kKeys) == 46);

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

class SettingsFile : public qeltest::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    path_ = (std::filesystem::temp_directory_path() /
             ("settings-" + std::to_string(::getpid()) + ".qel"))
                .string();
  }
  void TearDown() override {
    std::filesystem::remove(path_);
    SimFixture::TearDown();
  }

  static std::vector<int> DeviceValues() {
    std::vector<int> values;
    for (const capture::SettingLine& line : capture::SettingLines()) {
      int value = 0;
      EXPECT_EQ(picture::GetDevice(line.function, &value), 0) << line.key;
      values.push_back(value);
    }
    return values;
  }

  static void SetDevice(const std::vector<int>& values) {
    const auto& lines = capture::SettingLines();
    for (size_t i = 0; i < lines.size(); ++i) picture::SetDevice(lines[i].function, values[i]);
  }

  // For every parameter another value in its control's range that the unit keeps as given. The
  // control modes stay manual, so the unit's automatic control moves nothing.
  static std::vector<int> OtherValues() {
    const std::vector<int> present = DeviceValues();
    std::vector<int> other = present;
    const auto& lines = capture::SettingLines();
    for (size_t i = 2; i < lines.size(); ++i) {
      for (int candidate : {present[i] + 1, present[i] - 1}) {
        int back = 0;
        if (picture::AllowedValues(lines[i].function, 0).range.Contains(candidate) &&
            picture::SetDevice(lines[i].function, candidate) == 0 &&
            picture::GetDevice(lines[i].function, &back) == 0 && back == candidate) {
          other[i] = candidate;
          break;
        }
      }
    }
    SetDevice(present);
    return other;
  }

  std::string FileText() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void WriteFileText(const std::string& text) const {
    std::ofstream(path_, std::ios::binary) << text;
  }

  std::string path_;
};

TEST_F(SettingsFile, SavedFileHasTheMagicLineAnd46ValueLinesInTableOrder) {
  const auto& table = capture::SettingLines();
  ASSERT_EQ(table.size(), 46u);
  EXPECT_EQ(capture::SettingText(table[0], 3), "3\t\t//ControlMode1\n");
  EXPECT_EQ(capture::SettingText(table[2], -128), "-128\t\t//BlackLevel\n");

  // The control modes stay manual: nothing moves between the reads here and the save.
  ASSERT_EQ(QEL_Set_BlackLevel(128), 0);
  const std::vector<int> values = DeviceValues();
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);
  const std::string text = FileText();
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 47);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 47u);
  EXPECT_EQ(lines[0], "#QEL_Setting_Data_(Do_not_edit_manually)");
  EXPECT_EQ(lines[3], "128\t\t//BlackLevel");
  for (size_t i = 0; i < 46; ++i) {
    EXPECT_EQ(lines[i + 1], std::to_string(values[i]) + "\t\t" + kKeys[i]);
  }
}

TEST_F(SettingsFile, AllValuesComeBackAndReachTheUnitInFileOrder) {
  const std::vector<int> original = DeviceValues();
  const std::vector<int> saved = OtherValues();
  // Enough parameters take another value for the round trip to mean something.
  int changed = 0;
  for (size_t i = 0; i < saved.size(); ++i) changed += saved[i] != original[i];
  EXPECT_GE(changed, 40);

  SetDevice(saved);
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);
  const std::string text = FileText();
  SetDevice(original);
  ASSERT_EQ(DeviceValues(), original);

  unit().ClearLog();
  ASSERT_EQ(capture::LoadSettingsFile(path_, 0), 0);
  EXPECT_EQ(OfRequest(kRegWrite).size(), 46u);
  EXPECT_EQ(DeviceValues(), saved);
  // Saved again, the same file.
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);
  EXPECT_EQ(FileText(), text);
}

TEST_F(SettingsFile, KeysAreNotReadButLinePositionsAre) {
  ASSERT_EQ(QEL_Set_BlackLevel(10), 0);
  ASSERT_EQ(QEL_Set_ExposureTime(20), 0);
  const std::vector<int> saved = DeviceValues();
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);
  std::vector<std::string> lines = Lines(FileText());

  // Every key replaced by another word: the same values arrive.
  std::vector<std::string> renamed = lines;
  for (size_t i = 1; i < renamed.size(); ++i) {
    renamed[i] = renamed[i].substr(0, renamed[i].find('\t')) + "\t\tkey" + std::to_string(i);
  }
  WriteFileText(Join(renamed));
  SetDevice(std::vector<int>(46, 0));
  ASSERT_EQ(capture::LoadSettingsFile(path_, 0), 0);
  EXPECT_EQ(DeviceValues(), saved);

  // Lines 3 and 4 swapped, keys and all: black level and exposure time swap.
  std::swap(lines[3], lines[4]);
  WriteFileText(Join(lines));
  ASSERT_EQ(capture::LoadSettingsFile(path_, 0), 0);
  int black = 0, exposure = 0;
  ASSERT_EQ(QEL_Get_BlackLevel(&black), 0);
  ASSERT_EQ(QEL_Get_ExposureTime(&exposure), 0);
  EXPECT_EQ(black, 20);
  EXPECT_EQ(exposure, 10);
}

TEST_F(SettingsFile, AFileThatIsNotACompleteSettingsFileSendsNothing) {
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);
  const std::vector<std::string> good = Lines(FileText());
  struct Case {
    const char* damage;
    std::string text;
    const char* fault = "";  // part of the refusal's text
    int cisType = 0;
  };
  auto with = [&](size_t line, const std::string& replacement) {
    std::vector<std::string> changed = good;
    changed[line] = replacement;
    return Join(changed);
  };
  const std::vector<std::string> truncated(good.begin(), good.begin() + 21);
  std::vector<std::string> noLastKey = good;
  noLastKey.back() = noLastKey.back().substr(0, noLastKey.back().find('\t'));
  const Case cases[] = {
      {"magic line without its last part", with(0, "#QEL_Setting_Data_"),
       "line 1 is not \"#QEL_Setting_Data_(Do_not_edit_manually)\""},
      {"magic line with another word", with(0, "#QEL_Setting_Data_(Do_not_edit_manually)x")},
      {"empty file", ""},
      {"only the magic line", good[0] + "\n"},
      {"cut after 20 values", Join(truncated)},
      {"last key missing", Join(noLastKey)},
      {"a word for a value", with(30, "abc\t\t//ImageRotation")},
      {"a value with letters behind it", with(30, "12abc\t\t//ImageRotation")},
      {"a value beyond 32 bits", with(30, "4294967296\t\t//ImageRotation")},
      {"a lone sign", with(30, "-\t\t//ImageRotation")},
      {"two signs", with(3, "+-5\t\t//BlackLevel"), "line 4 (//BlackLevel): '+-5' is not a number"},
      {"above a slider", with(3, "70000\t\t//BlackLevel"),
       "line 4 (//BlackLevel): '70000' is outside 0..255 with a 40K head"},
      {"a list value of the other head", with(32, "0\t\t//DVI_ImageSize"),
       "line 33 (//DVI_ImageSize): '0' is outside 1..3 with a 160K head", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.damage);
    WriteFileText(c.text);
    unit().ClearLog();
    std::string fault;
    EXPECT_EQ(capture::LoadSettings(path_, c.cisType, &fault), capture::SettingsLoad::kNotSettings);
    EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    EXPECT_EQ(capture::LoadSettingsFile(path_, c.cisType), -1);
    EXPECT_TRUE(OfRequest(kRegWrite).empty());
  }
  EXPECT_EQ(capture::LoadSettings(path_ + ".missing", 0), capture::SettingsLoad::kUnreadable);
  EXPECT_EQ(capture::LoadSettingsFile(path_ + ".missing", 0), -1);

  // What the reader accepts: signs, other white space, anything after the 46th line.
  std::vector<std::string> relaxed = good;
  relaxed[3] = "+" + relaxed[3];
  relaxed[5] = "  " + relaxed[5] + " \r";
  WriteFileText(Join(relaxed) + "trailing words\n");
  unit().ClearLog();
  EXPECT_EQ(capture::LoadSettingsFile(path_, 0), 0);
  EXPECT_EQ(OfRequest(kRegWrite).size(), 46u);
}

TEST_F(SettingsFile, FailuresOnTheWayAreReportedButDoNotStopTheSequence) {
  ASSERT_EQ(capture::SaveSettingsFile(path_), 0);

  // One setter fails: the rest still arrive.
  unit().FailControl(10, 1, kRegWrite);
  unit().ClearLog();
  EXPECT_EQ(capture::LoadSettings(path_, 0), capture::SettingsLoad::kSetterFailed);
  const auto writes = OfRequest(kRegWrite);
  EXPECT_EQ(writes.size(), 46u);
  EXPECT_EQ(std::count_if(writes.begin(), writes.end(), [](const auto& w) { return !w.ok; }), 1);

  // One getter fails: every line is written all the same.
  unit().FailControl(5, 1, kRegRead);
  EXPECT_EQ(capture::SaveSettingsFile(path_), -1);
  EXPECT_EQ(Lines(FileText()).size(), 47u);

  EXPECT_EQ(capture::SaveSettingsFile("/nonexistent-directory/x.qel"), -1);
  const capture_test::FileSizeLimit disk(500);  // the file has some 840 bytes
  EXPECT_EQ(capture::SaveSettingsFile(path_), -1);
}

}  // namespace
