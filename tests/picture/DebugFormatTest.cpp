// The Debug dialog's field parsing and dump texts, without a unit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/calibration/FileSizeLimit.h"
#include "viewer/picture/core/DebugFormat.h"

namespace picture {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(DebugFormat, SlaveAddressKeepsSevenBits) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"D8", 0x58},      {"58", 0x58},       {"", 0x00},    {"zz", 0x00},
      {"  7f", 0x7F},    {"0x58", 0x58},     {"0x", 0x00},  {"58garbage", 0x58},
      {"+12", 0x12},     {"-1", 0x7F},       {"-D8", 0x28}, {"FFFFFFFFFFFFFF", 0x7F},
      {"\t\n 20", 0x20}, {"\xC3\xA4", 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseSlaveAddress(c.text), c.expected) << c.text;
    EXPECT_EQ(HexByte(ParseSlaveAddress(c.text)).size(), 2u);
  }
  EXPECT_EQ(HexByte(ParseSlaveAddress("D8")), "58");
  EXPECT_EQ(HexByte(ParseSlaveAddress("xyz")), "00");
}

TEST(DebugFormat, ReadSizeTakesTheLowByteThenOneToSixtyFour) {
  const struct {
    const char* text;
    int expected;
  } cases[] = {
      {"0", 1},    {"1", 1}, {"2", 2},   {"64", 64}, {"65", 64},  {"100", 64},  {"300", 44},
      {"256", 1},  {"", 1},  {"abc", 1}, {"-1", 64}, {"-255", 1}, {" 12x", 12}, {"99999999999", 64},
      {"0x20", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseReadSize(c.text), c.expected) << c.text;
}

TEST(DebugFormat, HexFieldsAndEepromType) {
  const struct {
    const char* text;
    uint32_t hex;
    int selector;
  } cases[] = {
      {"0", 0, 0},
      {"4000", 0x4000, 1},
      {"0x426", 0x426, 0},
      {"", 0, 0},
      {"-1", 0xFFFFFFFF, 1},
      {"123456789ABC", 0xFFFFFFFF, 1},
      {"  3000 ", 0x3000, 1},
      {"g", 0, 0},
      {"1", 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseHexField(c.text), c.hex) << c.text;
    EXPECT_EQ(ParseEepromSelector(c.text), c.selector) << c.text;
  }
}

TEST(DebugFormat, WriteDataBytesAndRewrittenText) {
  const struct {
    std::string text;
    Bytes bytes;
    const char* rewritten;
  } cases[] = {
      {"1 2 ff", {0x01, 0x02, 0xFF}, "01 02 FF "},
      {"12,34", {0x12, 0x34}, "12 34 "},
      {"zz", {}, ""},
      {"   ", {}, ""},
      {"1,,2", {0x01}, "01 "},
      {" 1  2", {0x01, 0x02}, "01 02 "},
      {"0x10 0X2f", {0x10, 0x2F}, "10 2F "},
      {"100 -1 +3", {0x00, 0xFF, 0x03}, "00 FF 03 "},
      {"123456789 ab", {0xFF, 0xAB}, "FF AB "},
      {"1;2.3", {0x01, 0x02, 0x03}, "01 02 03 "},
      {"A\xE4"
       "B",
       {0x0A, 0x0B},
       "0A 0B "},
      {"A\xC3\xA4"
       "B",
       {0x0A},
       "0A "},
      {std::string("7\0"
                   "8",
                   3),
       {0x07, 0x08},
       "07 08 "},
  };
  for (const auto& c : cases) {
    const WriteData data = ParseWriteData(c.text);
    EXPECT_EQ(Bytes(data.bytes.begin(), data.bytes.begin() + data.length), c.bytes) << c.text;
    EXPECT_EQ(HexBytes(data.bytes.data(), data.length), c.rewritten) << c.text;
  }
}

TEST(DebugFormat, WriteDataStopsAtSixtyFourBytesAndAfterCharacter1023) {
  std::string seventy;
  for (int i = 0; i < 70; ++i) seventy += std::to_string(i % 10) + " ";
  const WriteData many = ParseWriteData(seventy);
  ASSERT_EQ(many.length, 64);
  EXPECT_EQ(many.bytes[63], 3);

  // A number that starts at character 1022 keeps its first digit; one at 1024 is not read.
  const struct {
    size_t blanks;
    Bytes bytes;
  } cases[] = {{1021, {0xAB}}, {1022, {0x0A}}, {1023, {}}};
  for (const auto& c : cases) {
    const WriteData data = ParseWriteData(std::string(c.blanks, ' ') + "AB");
    EXPECT_EQ(Bytes(data.bytes.begin(), data.bytes.begin() + data.length), c.bytes) << c.blanks;
  }
}

TEST(DebugFormat, ResultTexts) {
  const uint8_t bytes[] = {0x00, 0x0A, 0xFF};
  EXPECT_EQ(HexBytes(bytes, 3), "00 0A FF ");
  EXPECT_EQ(HexBytes(bytes, 0), "");
  EXPECT_EQ(HexValue(0x426), "426");
  EXPECT_EQ(HexValue(0), "0");
  EXPECT_EQ(HexValue(0xABCD), "ABCD");
}

std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back("<no line end>" + text.substr(at));
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

TEST(DebugFormat, FpgaDumpHasOneLinePerRegisterAndMarksFailedReads) {
  std::vector<int> asked;
  const std::string text = FpgaDumpText([&](uint16_t address, uint8_t value[2]) {
    asked.push_back(address);
    value[0] = static_cast<uint8_t>(address >> 8);
    value[1] = static_cast<uint8_t>(address * 3);
    return address != 0x3FE;
  });
  const std::vector<std::string> lines = CrLfLines(text);
  ASSERT_EQ(lines.size(), 1025u);
  ASSERT_EQ(asked.size(), 1024u);
  EXPECT_EQ(asked.front(), 0);
  EXPECT_EQ(asked.back(), 0x3FF);
  EXPECT_EQ(lines[0], "<FPGA>");
  EXPECT_EQ(lines[1], "0000 : 0000");
  EXPECT_EQ(lines[2], "0001 : 0003");
  EXPECT_EQ(lines[0x1AB + 1], "01AB : 0101");
  EXPECT_EQ(lines[0x3FE + 1], "03FE : read failed.");
  EXPECT_EQ(lines[0x3FF + 1], "03FF : 03FD");
}

TEST(DebugFormat, EepromDumpCoversTheSelectedRangeSixteenBytesALine) {
  const struct {
    bool cis;
    size_t lines;
    const char* heading;
    const char* first;
    const char* last;
  } cases[] = {
      {false, 3073, "<EEPROM_FX2>", "4000 : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
       "FFF0 : read failed."},
      {true, 257, "<EEPROM_CIS>", "0000 : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ",
       "0FF0 : read failed."},
  };
  for (const auto& c : cases) {
    uint32_t lastAsked = 0;
    const std::string text = EepromDumpText(c.cis, [&](uint32_t address, uint8_t bytes[16]) {
      lastAsked = address;
      for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(i);
      return address != (c.cis ? 0x0FF0u : 0xFFF0u);
    });
    const std::vector<std::string> lines = CrLfLines(text);
    ASSERT_EQ(lines.size(), c.lines) << c.heading;
    EXPECT_EQ(lines[0], c.heading);
    EXPECT_EQ(lines[1], c.first);
    EXPECT_EQ(lines.back(), c.last);
    EXPECT_EQ(lines[2].substr(0, 7), c.cis ? "0010 : " : "4010 : ");
    EXPECT_EQ(lastAsked, c.cis ? 0x0FF0u : 0xFFF0u);
  }
}

TEST(DebugFormat, DumpFileIsWrittenOnlyWhenItCanBeCreated) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qel_dump_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string good = (dir / "Dump_FPGA.txt").string();
  { std::ofstream(good) << "an older, longer dump that must be replaced"; }
  int built = 0;
  auto text = [&] {
    ++built;
    return std::string("<FPGA>\r\n");
  };
  EXPECT_TRUE(WriteDumpFile(good, text));
  std::ifstream in(good, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "<FPGA>\r\n");

  EXPECT_FALSE(WriteDumpFile((dir / "missing" / "Dump_FPGA.txt").string(), text));
  EXPECT_EQ(built, 1) << "nothing is read for a file that cannot be created";
  {
    // A disk that fills up during the dump.
    caltest::FileSizeLimit full(4096);
    EXPECT_FALSE(WriteDumpFile(good, [] { return std::string(100000, 'x'); }));
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace picture
