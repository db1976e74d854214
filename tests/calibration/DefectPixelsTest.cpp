// Defect pixel detection, the defect pixel table and its list, and the table transfers against
// the simulated unit.
#include <gtest/gtest.h>

#include <random>

#include "tests/api/SimFixture.h"
#include "tests/api/TransferLog.h"
#include "tests/calibration/RawFrame.h"
#include "viewer/calibration/core/DefectPixels.h"

namespace calibration {
namespace {

using caltest::RawFrame;

struct Found {
  int x, y, v;
  bool operator==(const Found&) const = default;
};

std::vector<Found> Pixels(const DefectResult& result) {
  std::vector<Found> out;
  for (int i = 0; i < result.count; ++i) {
    const DefectPixel& p = result.pixels[size_t(i)];
    out.push_back({p.x, p.y, p.value});
  }
  return out;
}

// Whether (x, y) lies in one of the four corner triangles: fewer than E steps, counted along
// both axes, from the corner pixel of the image.
bool InCorner(live::FrameGeometry g, int e, int x, int y) {
  const int last = g.n - g.b - 1;
  const int dx = std::min(x - g.b, last - x);
  const int dy = std::min(y - g.b, last - y);
  return dx + dy < e;
}

// The scan written out longhand: every image pixel outside the corners, in row order.
std::vector<Found> Expected(const RawFrame& frame, const DefectScan& scan) {
  std::vector<Found> out;
  const live::FrameGeometry g = frame.g;
  for (int y = g.b; y < g.n - g.b; ++y) {
    for (int x = g.b; x < g.n - g.b; ++x) {
      if (InCorner(g, scan.excludedArea, x, y)) continue;
      const int v = frame.bytes[(size_t(y) * size_t(g.n) + size_t(x)) * 4 + 3];
      const bool defect = scan.type == kDefectDark ? v <= scan.threshold : v >= scan.threshold;
      if (defect && out.size() < 32) out.push_back({x, y, v});
    }
  }
  return out;
}

TEST(DefectScan, CornerTrianglesOfThreePixelsOnA40KHead) {
  RawFrame frame(0, 0xFFFF);
  const live::FrameGeometry g = frame.g;
  // Dark: the excluded pixels and the first examined diagonal of every corner.
  for (int y = 0; y < g.n; ++y) {
    for (int x = 0; x < g.n; ++x) {
      const int last = g.n - g.b - 1;
      const int dx = std::min(x - g.b, last - x);
      const int dy = std::min(y - g.b, last - y);
      if (dx >= 0 && dy >= 0 && dx + dy <= 3) frame.SetLevel8(x, y, 0);
    }
  }
  const DefectResult result = DetectDefects(frame.bytes.data(), g, {10, kDefectDark, 3});
  const std::vector<Found> expected = {{4, 1, 0},   {197, 1, 0},   {3, 2, 0},   {198, 2, 0},
                                       {2, 3, 0},   {199, 3, 0},   {1, 4, 0},   {200, 4, 0},
                                       {1, 197, 0}, {200, 197, 0}, {2, 198, 0}, {199, 198, 0},
                                       {3, 199, 0}, {198, 199, 0}, {4, 200, 0}, {197, 200, 0}};
  EXPECT_EQ(Pixels(result), expected);

  // Without excluded area the corner pixels themselves are found, the boundary ring never.
  const DefectResult all = DetectDefects(frame.bytes.data(), g, {10, kDefectDark, 0});
  ASSERT_EQ(all.count, 32);
  EXPECT_EQ(Pixels(all).front(), (Found{1, 1, 0}));
}

TEST(DefectScan, UniformlyDarkFrameWithThreshold255) {
  const struct {
    int cisType;
    int type;
    int e;
    int count;
    Found first;
    Found last;
  } cases[] = {
      {0, kDefectBright, 0, 0, {}, {}},
      {0, kDefectDark, 0, 32, {1, 1, 0}, {32, 1, 0}},
      {0, kDefectDark, 3, 32, {4, 1, 0}, {35, 1, 0}},
      {1, kDefectDark, 5, 32, {7, 2, 0}, {38, 2, 0}},
      {1, kDefectBright, 200, 0, {}, {}},
  };
  for (const auto& c : cases) {
    const RawFrame frame(c.cisType, 0x0000);
    const DefectResult result = DetectDefects(frame.bytes.data(), frame.g, {255, c.type, c.e});
    ASSERT_EQ(result.count, c.count) << c.cisType << " " << c.type << " " << c.e;
    for (int i = c.count; i < kDefectEntries; ++i) {
      EXPECT_EQ(result.pixels[size_t(i)].x, 511);
      EXPECT_EQ(result.pixels[size_t(i)].y, 511);
    }
    if (c.count == 0) continue;
    EXPECT_EQ(Pixels(result).front(), c.first);
    EXPECT_EQ(Pixels(result).back(), c.last);
  }
}

TEST(DefectScan, MatchesTheLonghandScanOnRandomFrames) {
  std::mt19937 random(5303);
  const struct {
    int cisType;
    int e;
  } cases[] = {{0, 0},  {0, 1}, {0, 50}, {0, 99},  {0, 100}, {0, 300},
               {0, -4}, {1, 0}, {1, 2},  {1, 150}, {1, 199}, {1, 200}};
  for (const auto& c : cases) {
    RawFrame frame(c.cisType);
    for (int trial = 0; trial < 6; ++trial) {
      // Rare outliers among middle levels, so that the 32 defects spread over the frame.
      for (int y = 0; y < frame.g.n; ++y) {
        for (int x = 0; x < frame.g.n; ++x) {
          const int r = int(random() % 40000);
          frame.SetLevel8(x, y, uint8_t(r < 2 ? 0 : r < 4 ? 255 : 100 + r % 50));
        }
      }
      for (const DefectScan scan :
           {DefectScan{20, kDefectDark, c.e}, DefectScan{230, kDefectBright, c.e},
            DefectScan{120, kDefectDark, c.e}}) {
        DefectScan clamped = scan;
        clamped.excludedArea = std::max(0, c.e);
        EXPECT_EQ(Pixels(DetectDefects(frame.bytes.data(), frame.g, scan)),
                  Expected(frame, clamped))
            << c.cisType << " E=" << c.e << " T=" << scan.threshold;
      }
    }
  }
}

TEST(DefectTable, EncodedBigEndianWithUnusedEntriesAt511) {
  DefectResult result;
  result.pixels[0] = {3, 400, 7};
  result.pixels[1] = {258, 1, 0};
  result.count = 2;
  const DefectTable table = EncodeDefectTable(result);
  const uint8_t head[] = {0x00, 0x03, 0x01, 0x90, 0x01, 0x02, 0x00, 0x01};
  EXPECT_TRUE(std::equal(std::begin(head), std::end(head), table.begin()));
  for (size_t i = 8; i < table.size(); i += 4) {
    EXPECT_EQ(table[i], 0x01);
    EXPECT_EQ(table[i + 1], 0xFF);
    EXPECT_EQ(table[i + 2], 0x01);
    EXPECT_EQ(table[i + 3], 0xFF);
  }
  EXPECT_EQ(ValidDefectEntries(table), 2);
  EXPECT_EQ(DefectTableEntry(table, 0).y, 400);
  EXPECT_EQ(ValidDefectEntries(ClearedDefectTable()), 0);
}

TEST(DefectTable, ListStopsAtTheFirstCoordinateAbove510) {
  DefectTable table = ClearedDefectTable();
  auto put = [&](int i, int x, int y) {
    table[size_t(4 * i)] = uint8_t(x >> 8);
    table[size_t(4 * i + 1)] = uint8_t(x);
    table[size_t(4 * i + 2)] = uint8_t(y >> 8);
    table[size_t(4 * i + 3)] = uint8_t(y);
  };
  // A downloaded table whose first entry is unused lists nothing, whatever follows.
  put(1, 5, 6);
  put(2, 7, 8);
  EXPECT_EQ(DefectListText(kDefectDark, table, nullptr), "Dark (0)\r\n--------------------\r\n");

  put(0, 510, 510);
  put(2, 600, 3);
  EXPECT_EQ(ValidDefectEntries(table), 2);
  EXPECT_EQ(DefectListText(kDefectBright, table, nullptr),
            "Bright (2)\r\n--------------------\r\n1 : (510,510)\r\n2 : (5,6)\r\n");
  put(2, 3, 511);
  EXPECT_EQ(ValidDefectEntries(table), 2);
}

TEST(DefectTable, ListAfterADetectionCarriesTheLevels) {
  RawFrame frame(1, 0x8000);
  frame.SetLevel8(10, 2, 0xFE);
  frame.SetLevel8(400, 401, 0xFF);
  const DefectResult result = DetectDefects(frame.bytes.data(), frame.g, {200, kDefectBright, 0});
  const DefectTable table = EncodeDefectTable(result);
  EXPECT_EQ(DefectListText(kDefectBright, table, &result),
            "Bright (2)\r\n--------------------\r\n1 : (10,2) Val = 254\r\n"
            "2 : (400,401) Val = 255\r\n");

  // The longest list there can be stays within the list's 2,720 characters.
  RawFrame dark(1, 0);
  const DefectResult full = DetectDefects(dark.bytes.data(), dark.g, {255, kDefectDark, 150});
  const std::string text = DefectListText(kDefectDark, EncodeDefectTable(full), &full);
  EXPECT_LT(text.size(), kMaxDefectListChars);
  // Row 2 leaves out 150 pixels at either end.
  EXPECT_EQ(text.substr(text.rfind("32 :")), "32 : (183,2) Val = 0\r\n");
}

class DefectTransfers : public qeltest::SimFixture {};

TEST_F(DefectTransfers, UploadDownloadAndClearOnTheUnitTables) {
  DefectResult result;
  result.pixels[0] = {12, 34, 0};
  result.count = 1;
  const DefectTable table = EncodeDefectTable(result);
  const struct {
    int type;
    uint16_t firstRegister;
  } cases[] = {{kDefectDark, 0x100}, {kDefectBright, 0x200}};
  for (const auto& c : cases) {
    unit().ClearLog();
    EXPECT_EQ(UploadDefectTable(c.type, table), "Defect Pixel Table upload complete");
    EXPECT_EQ(qeltest::IndicesOf(qeltest::kRegWrite).front(), c.firstRegister);
    DefectTable back{};
    EXPECT_EQ(DownloadDefectTable(c.type, back), "Defect Pixel Table download complete");
    EXPECT_EQ(back, table);
    EXPECT_EQ(DefectListText(c.type, back, nullptr).substr(0, 4), c.type ? "Brig" : "Dark");
  }
  DefectTable cleared = table;
  EXPECT_EQ(ClearDefectTable(kDefectDark, cleared), "Defect Pixel Table clear complete");
  EXPECT_EQ(cleared, ClearedDefectTable());
  DefectTable back{};
  DownloadDefectTable(kDefectDark, back);
  EXPECT_EQ(back, ClearedDefectTable());
  DownloadDefectTable(kDefectBright, back);
  EXPECT_EQ(back, table) << "the other type's table stays";

  unit().FailControl(0, -1, qeltest::kRegWrite);
  EXPECT_EQ(UploadDefectTable(kDefectDark, table), "Defect Pixel Table upload error");
  EXPECT_EQ(ClearDefectTable(kDefectDark, cleared), "Defect Pixel Table clear error");
  unit().FailControl(0, 1, qeltest::kRegRead);
  EXPECT_EQ(DownloadDefectTable(kDefectDark, back), "Defect Pixel Table download error");
}

TEST_F(DefectTransfers, SaveCopiesTheUnitTableIntoTheHeadButNotAfterAFailedRead) {
  DefectResult result;
  result.pixels[0] = {100, 101, 0};
  result.count = 1;
  const DefectTable table = EncodeDefectTable(result);
  ASSERT_EQ(UploadDefectTable(kDefectBright, table), "Defect Pixel Table upload complete");
  EXPECT_EQ(SaveDefectTableToHead(kDefectBright),
            std::vector<std::string>{"Defect Pixel Table save complete"});
  // Table 1 of the head EEPROM lives at 0x400.
  const std::vector<uint8_t> saved = unit().ReadEeprom(1, 0x400, 128);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), table.begin()));

  unit().ClearLog();
  unit().FailControl(1, 1, qeltest::kRegRead);  // the second half of the table
  EXPECT_EQ(
      SaveDefectTableToHead(kDefectDark),
      (std::vector<std::string>{"Defect Pixel Table read error", "Defect Pixel Table save error"}));
  EXPECT_TRUE(qeltest::OfRequest(qeltest::kEepromWrite).empty());

  unit().SetCisEeprom(0);
  EXPECT_EQ(SaveDefectTableToHead(kDefectDark),
            std::vector<std::string>{"Defect Pixel Table save error"});
}

TEST_F(DefectTransfers, FreshFrameOrNothingWithinTheLimit) {
  std::vector<uint8_t> frame;
  uint32_t length = 0;
  ASSERT_TRUE(FetchFreshFrame(frame, 202 * 202 * 4, length));
  EXPECT_EQ(length, 202u * 202u * 4u);
  EXPECT_EQ(frame[0] | frame[1] << 8, 0xFF00);

  unit().SetStreamStalled(true);
  qeltest::WaitFor([] { return false; }, 100);  // a frame already in flight arrives
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(FetchFreshFrame(frame, 202 * 202 * 4, length, std::chrono::milliseconds(300)));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace calibration
