// Gamma CSV files and the gamma table transfers against the simulated unit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "tests/calibration/FileSizeLimit.h"
#include "viewer/calibration/core/GammaTable.h"

namespace calibration {
namespace {

namespace fs = std::filesystem;

// Lines "a,b,c" for i = 0 .. count - 1 with each value given by f(i, column).
template <typename F>
std::string Lines(int count, F f, const char* end = "\n") {
  std::string text;
  for (int i = 0; i < count; ++i) {
    text += std::to_string(f(i, 0)) + "," + std::to_string(f(i, 1)) + "," +
            std::to_string(f(i, 2)) + end;
  }
  return text;
}

std::string Identity(int count, const char* end = "\n") {
  return Lines(
      count, [](int i, int) { return i; }, end);
}

int Entry(const GammaTables& tables, int table, int index) {
  const uint8_t* p = tables.data() + kGammaTableBytes * size_t(table) + size_t(index) * 2;
  return p[0] << 8 | p[1];
}

TEST(GammaCsv, IdentityLinesRoundTrip) {
  GammaTables tables{};
  ASSERT_TRUE(ParseGammaCsv(Identity(1024), tables));
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 4096; ++i) ASSERT_EQ(Entry(tables, k, i), (i / 4) * 4) << k << " " << i;
  }
  EXPECT_EQ(GammaCsvText(tables), Identity(1024, "\r\n"));
}

TEST(GammaCsv, ColumnsGoToTablesZeroOneTwo) {
  GammaTables tables{};
  ASSERT_TRUE(
      ParseGammaCsv(Lines(1024, [](int i, int k) { return (i * (k + 1)) % 1024; }), tables));
  EXPECT_EQ(Entry(tables, 0, 4 * 300 + 3), 1200);
  EXPECT_EQ(Entry(tables, 1, 4 * 300), 4 * 600);
  EXPECT_EQ(Entry(tables, 2, 4 * 300 + 1), 4 * 900);
  EXPECT_EQ(Entry(tables, 2, 4 * 500), 4 * (1500 % 1024));
}

TEST(GammaCsv, WhichFilesAreAccepted) {
  const std::string identity = Identity(1024);
  const std::string tail = Lines(6, [](int, int) { return 5000; });
  const struct {
    const char* name;
    std::string text;
    bool accepted;
  } cases[] = {
      {"1,024 lines", identity, true},
      {"1,023 lines", Identity(1023), false},
      {"1,030 lines, the last six ignored even out of range", identity + tail, true},
      {"comments, short lines and a heading ignored",
       "Red,Green,Blue\n# comment 1,2,3\n/ 4,5,6\n; 7,8,9\n1,2\n\n" + Identity(1000) +
           "#x\n1,1\r\n   \n" + Identity(1024).substr(Identity(1000).size()),
       true},
      {"five characters and a line end make a data line", "1,2,3\n" + Identity(1023), true},
      {"a last line of five characters without a line end is short", Identity(1023) + "1,2,3",
       false},
      {"CR LF line ends", Identity(1024, "\r\n"), true},
      {"no line end after the last line", identity.substr(0, identity.size() - 1), true},
      {"blanks after the commas",
       Lines(
           1024, [](int i, int) { return i; }, " \n"),
       true},
      {"a value of 1,024", identity.substr(0, 40) + "1024,0,0\n" + identity.substr(40), false},
      {"a negative value", "-1,0,0\n" + identity, false},
      {"a value beyond int", "99999999999999999999,1,1\n" + identity, false},
      {"blank before a comma skips the line", "10 ,20,30\n" + identity, true},
      {"two numbers skip the line", "100,200\n" + identity, true},
      {"empty", "", false},
      {"comment lines only", "# a\n# b\n", false},
      {"NUL ends a line",
       std::string("1,2,3\0"
                   "99,99",
                   12) +
           "\n" + Identity(1023),
       false},
  };
  for (const auto& c : cases) {
    GammaTables tables{};
    EXPECT_EQ(ParseGammaCsv(c.text, tables), c.accepted) << c.name;
  }
}

TEST(GammaCsv, OnlyTheFirst255CharactersOfALineCount) {
  // Numbers placed after character 255 are not seen, so the long line is skipped as short.
  const std::string late = std::string(260, ' ') + "1,2,3\n";
  GammaTables tables{};
  EXPECT_FALSE(ParseGammaCsv(late + Identity(1023), tables));
  const std::string early = "1,2,3" + std::string(1000, ' ') + "\n";
  EXPECT_TRUE(ParseGammaCsv(early + Identity(1023), tables));
  EXPECT_EQ(Entry(tables, 2, 0), 12);
}

class GammaFiles : public qeltest::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    dir = fs::temp_directory_path() / ("qel_gamma_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    fs::remove_all(dir);
    SimFixture::TearDown();
  }
  std::string Write(const char* name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }
  fs::path dir;
};

TEST_F(GammaFiles, LoadReadsFilesAsTheTextParserDoes) {
  const std::string long_line = "1,2,3" + std::string(200000, ' ') + "\n";
  const struct {
    const char* name;
    std::string text;
    bool accepted;
  } cases[] = {{"plain.csv", Identity(1024), true},
               {"crlf.csv", Identity(1024, "\r\n"), true},
               {"long.csv", long_line + Identity(1023), true},
               {"short.csv", Identity(1000), false}};
  for (const auto& c : cases) {
    GammaTables tables{};
    EXPECT_EQ(LoadGammaCsv(Write(c.name, c.text), tables), c.accepted) << c.name;
  }
  GammaTables tables{};
  EXPECT_FALSE(LoadGammaCsv((dir / "missing.csv").string(), tables));
  EXPECT_FALSE(LoadGammaCsv("/dev/zero", tables));  // endless: refused, not read for ever
  EXPECT_FALSE(SaveGammaCsv((dir / "no" / "x.csv").string(), tables));
  caltest::FileSizeLimit full(1000);
  EXPECT_FALSE(SaveGammaCsv((dir / "full.csv").string(), tables));
}

TEST_F(GammaFiles, UploadThenDownloadGivesTheSameLines) {
  const std::string path = Write("in.csv", Identity(1024));
  EXPECT_EQ(UploadGammaCsv(path), "Gamma upload complete");
  std::vector<uint8_t> table(8192);
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(QEL_Get_Gamma_Table(k, table.data()), 0);
    EXPECT_EQ(table[2 * 401] << 8 | table[2 * 401 + 1], 400) << k;
    EXPECT_EQ(table[2 * 4095] << 8 | table[2 * 4095 + 1], 4092) << k;
  }
  const std::string out = (dir / "out.csv").string();
  EXPECT_EQ(DownloadGammaCsv(out), "Gamma download complete");
  EXPECT_EQ(Read(out), Identity(1024, "\r\n"));
}

TEST_F(GammaFiles, ClearThenDownloadGivesIdentityLines) {
  EXPECT_EQ(ClearGammaTables(), "Gamma clear complete");
  std::vector<uint8_t> table(8192);
  ASSERT_EQ(QEL_Get_Gamma_Table(2, table.data()), 0);
  EXPECT_EQ(table[2 * 4095] << 8 | table[2 * 4095 + 1], 4095);
  const std::string out = (dir / "clear.csv").string();
  EXPECT_EQ(DownloadGammaCsv(out), "Gamma download complete");
  EXPECT_EQ(Read(out), Identity(1024, "\r\n"));
}

TEST_F(GammaFiles, ABadFileSendsNothingAndFailuresNameTheirTable) {
  const std::string bad = Write("bad.csv", "0,0,1024\n" + Identity(1024));
  EXPECT_EQ(UploadGammaCsv(bad), "Gamma upload load error");
  EXPECT_EQ(UploadGammaCsv((dir / "missing.csv").string()), "Gamma upload load error");
  EXPECT_TRUE(qeltest::OfRequest(qeltest::kRegWrite).empty());

  // Each table takes 128 transfers of 64 bytes.
  const std::string good = Write("good.csv", Identity(1024));
  const struct {
    int before;
    const char* upload;
    const char* download;
  } cases[] = {{0, "Gamma(0) upload error", "Gamma(0) download error"},
               {128, "Gamma(1) upload error", "Gamma(1) download error"},
               {256 + 127, "Gamma(2) upload error", "Gamma(2) download error"}};
  for (const auto& c : cases) {
    unit().ClearFaults();
    unit().FailControl(c.before, 1, qeltest::kRegWrite);
    EXPECT_EQ(UploadGammaCsv(good), c.upload);
    unit().ClearFaults();
    unit().FailControl(c.before, 1, qeltest::kRegRead);
    const std::string out = (dir / "never.csv").string();
    EXPECT_EQ(DownloadGammaCsv(out), c.download);
    EXPECT_FALSE(fs::exists(out)) << "written only after all three tables were read";
  }
  unit().ClearFaults();
  EXPECT_EQ(DownloadGammaCsv((dir / "no" / "x.csv").string()), "Gamma download save error");
  unit().FailControl(0, -1, qeltest::kRegWrite);
  EXPECT_EQ(ClearGammaTables(), "Gamma clear error");
}

TEST_F(GammaFiles, SaveStoresTheUnitTablesInItsEeprom) {
  ASSERT_EQ(UploadGammaCsv(Write("in.csv", Identity(1024))), "Gamma upload complete");
  EXPECT_EQ(SaveGammaTablesToUnitEeprom(), "Gamma save complete");
  std::vector<uint8_t> table(8192);
  const uint32_t addresses[] = {0x8000, 0xA000, 0xC000};
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(QEL_Get_Gamma_Table(k, table.data()), 0);
    EXPECT_EQ(unit().ReadEeprom(0, addresses[k], 8192), table) << k;
  }
  unit().FailControl(0, 1, qeltest::kEepromWrite);
  EXPECT_EQ(SaveGammaTablesToUnitEeprom(), "Gamma save error");
}

}  // namespace
}  // namespace calibration
