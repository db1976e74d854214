// Random text where the viewer's tools take it from outside: gamma CSV files, the "num of frames"
// field and the Debug dialog's fields. Seeded and bounded; each text lives in a heap block of its
// exact size, so the address sanitizer sees any read past it.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "viewer/calibration/core/CalibrationControls.h"
#include "viewer/calibration/core/GammaTable.h"
#include "viewer/picture/core/DebugFormat.h"

namespace {

class ToolInput : public ::testing::Test {
 protected:
  std::mt19937 random{20260314};

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

  // Characters that matter to the parsers, with the odd byte of any value.
  char Character() {
    static constexpr std::string_view kAlphabet = "0123456789,,,\n\n\r #/;-+xXaFf\t";
    if (Pick(0, 20) == 0) return static_cast<char>(Pick(0, 255));
    return kAlphabet[size_t(Pick(0, int(kAlphabet.size()) - 1))];
  }

  // Mostly well-formed gamma lines, so that the parser also reaches its 1,024-line end.
  std::string GammaText() {
    std::string text;
    const int lines = Pick(0, 3) == 0 ? Pick(0, 40) : Pick(1000, 1500);
    for (int i = 0; i < lines; ++i) {
      switch (Pick(0, 29)) {
        case 0:
          for (int c = Pick(0, 300); c > 0; --c) text += Character();
          text += '\n';
          break;
        case 1:
          text += "# comment\n";
          break;
        case 2:
          text += std::to_string(Pick(-5, 1100)) + "," + std::to_string(Pick(0, 1023)) + "\n";
          break;
        default:
          text += std::to_string(Pick(0, 1023)) + "," + std::to_string(Pick(0, 1023)) + "," +
                  std::to_string(Pick(0, 1023)) + (Pick(0, 1) ? "\r\n" : "\n");
          break;
      }
    }
    if (Pick(0, 1)) text.resize(size_t(Pick(0, int(text.size()))));
    return text;
  }

  std::string FieldText() {
    std::string text;
    for (int c = Pick(0, Pick(0, 1) ? 12 : 1100); c > 0; --c) text += Character();
    return text;
  }
};

// A copy in a block of exactly its size, without a terminating NUL.
std::unique_ptr<char[]> ExactCopy(const std::string& text) {
  std::unique_ptr<char[]> copy(new char[text.size() + (text.empty() ? 1 : 0)]);
  std::copy(text.begin(), text.end(), copy.get());
  return copy;
}

TEST_F(ToolInput, GammaCsvNeverReadsPastTheTextAndAcceptsOnlyWholeTables) {
  auto tables = std::make_unique<calibration::GammaTables>();
  int accepted = 0;
  for (int i = 0; i < 400; ++i) {
    const std::string text = GammaText();
    const auto copy = ExactCopy(text);
    if (!calibration::ParseGammaCsv(std::string_view(copy.get(), text.size()), *tables)) continue;
    ++accepted;
    // Every accepted table holds four equal 10-bit steps per line.
    for (size_t e = 0; e < tables->size(); e += 8) {
      const int first = (*tables)[e] << 8 | (*tables)[e + 1];
      ASSERT_LE(first, 4092);
      ASSERT_EQ(first % 4, 0);
      for (size_t j = 2; j < 8; j += 2) {
        ASSERT_EQ((*tables)[e + j] << 8 | (*tables)[e + j + 1], first) << "entry " << e / 2;
      }
    }
  }
  EXPECT_GT(accepted, 0) << "the generator never reached a whole table";
}

TEST_F(ToolInput, FieldsAlwaysGiveValuesInTheirRanges) {
  for (int i = 0; i < 3000; ++i) {
    const std::string text = FieldText();
    const auto copy = ExactCopy(text);
    const std::string_view view(copy.get(), text.size());
    const int frames = calibration::FrameCountFromText(view);
    ASSERT_TRUE(frames >= 1 && frames <= 100) << text;
    const int size = picture::ParseReadSize(view);
    ASSERT_TRUE(size >= 1 && size <= 64) << text;
    ASSERT_LE(picture::ParseSlaveAddress(view), 0x7F);
    picture::ParseHexField(view);
    const int selector = picture::ParseEepromSelector(view);
    ASSERT_TRUE(selector == 0 || selector == 1);
    const picture::WriteData data = picture::ParseWriteData(view);
    ASSERT_TRUE(data.length >= 0 && data.length <= 64);
    ASSERT_EQ(picture::HexBytes(data.bytes.data(), data.length).size(), size_t(data.length) * 3);
  }
}

}  // namespace
