// Overlays drawn into the display bitmap: defect marks, excluded corners, no-signal fill, notice.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QGuiApplication>
#include <array>
#include <cstdint>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace {

using Bgr = std::array<int, 3>;
using Bitmap = std::vector<uint8_t>;
constexpr Bgr kBlue{255, 0, 0};
constexpr Bgr kYellow{0, 255, 255};
constexpr Bgr kNone{0, 0, 0};

Bgr PictureAt(const Bitmap& d, int x, int y) {
  const uint8_t* p = d.data() + size_t(807 - y) * live::kDisplayRowBytes + size_t(x) * 3;
  return {p[0], p[1], p[2]};
}

int CountColour(const Bitmap& d, Bgr colour) {
  int count = 0;
  for (int y = 0; y < 808; ++y) {
    for (int x = 0; x < 808; ++x) count += PictureAt(d, x, y) == colour;
  }
  return count;
}

std::array<uint8_t, 128> EmptyTable() {
  std::array<uint8_t, 128> table;
  for (size_t i = 0; i < table.size(); i += 2) {
    table[i] = 0x01;
    table[i + 1] = 0xFF;
  }
  return table;
}

TEST(DefectOverlay, CornerLinesStopBeforeTheirEndPoints) {
  Bitmap d(live::kDisplayBytes, 0);
  const auto table = EmptyTable();
  // 40K, zoom 2, E = 10: B = 1, M = 201.
  live::DrawDefectOverlay(d.data(), 0, 2, 10, table.data());
  const int lines[4][4] = {
      {2, 22, 22, 2}, {382, 2, 402, 22}, {2, 382, 22, 402}, {382, 402, 402, 382}};
  for (const auto& l : lines) {
    const int sx = l[2] > l[0] ? 1 : -1;
    const int sy = l[3] > l[1] ? 1 : -1;
    EXPECT_EQ(PictureAt(d, l[0], l[1]), kBlue) << l[0] << "," << l[1];
    EXPECT_EQ(PictureAt(d, l[2] - sx, l[3] - sy), kBlue) << l[2] << "," << l[3];
    EXPECT_EQ(PictureAt(d, l[2], l[3]), kNone) << l[2] << "," << l[3];
  }
  EXPECT_EQ(CountColour(d, kBlue), 4 * 20);
  EXPECT_EQ(CountColour(d, kYellow), 0);  // (511, 511) at zoom 2 lies outside the bitmap
}

TEST(DefectOverlay, MarksAreZoomedAndClipped) {
  auto table = EmptyTable();
  const uint8_t entry[] = {0x00, 0x05, 0x00, 0x07, 0x01, 0x93, 0x00, 0x00};  // (5,7), (403,0)
  std::copy(std::begin(entry), std::end(entry), table.begin());

  Bitmap d(live::kDisplayBytes, 0);
  live::DrawDefectOverlay(d.data(), 1, 2, 0, table.data());  // E = 0: no line at all
  EXPECT_EQ(PictureAt(d, 10, 14), kYellow);
  EXPECT_EQ(PictureAt(d, 11, 15), kYellow);
  EXPECT_EQ(PictureAt(d, 806, 0), kYellow);
  EXPECT_EQ(PictureAt(d, 807, 1), kYellow);
  EXPECT_EQ(CountColour(d, kYellow), 8);
  EXPECT_EQ(CountColour(d, kBlue), 0);

  Bitmap d1(live::kDisplayBytes, 0);
  live::DrawDefectOverlay(d1.data(), 0, 1, 0, EmptyTable().data());
  EXPECT_EQ(PictureAt(d1, 511, 511), kYellow);
  EXPECT_EQ(CountColour(d1, kYellow), 1);

  // Lines of the widest excluded area at 400 % reach outside the bitmap and are cut there.
  Bitmap d4(live::kDisplayBytes, 0);
  live::DrawDefectOverlay(d4.data(), 1, 4, 100000, table.data());
  EXPECT_GT(CountColour(d4, kBlue), 0);
}

TEST(NoSignal, FillsEveryPixelBlue) {
  Bitmap d(live::kDisplayBytes, 7);
  live::PaintNoSignal(d.data());
  EXPECT_EQ(CountColour(d, kBlue), 808 * 808);
}

// Text needs a QGuiApplication; the offscreen platform serves when no display is around.
class LimitNotice : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QGuiApplication::instance() != nullptr) return;
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = new QGuiApplication(argc, argv);
  }
  static void TearDownTestSuite() {
    delete app;
    app = nullptr;
  }

 private:
  static inline int argc = 1;
  static inline char name[] = "live_tests";
  static inline char* argv[] = {name, nullptr};
  static inline QGuiApplication* app = nullptr;
};

TEST_F(LimitNotice, LandsAtItsPosition) {
  Bitmap d(live::kDisplayBytes, 0);
  live::DrawLimitNotice(d.data());
  int minX = 808, minY = 808, maxX = -1, maxY = -1, light = 0, silver = 0;
  for (int y = 0; y < 808; ++y) {
    for (int x = 0; x < 808; ++x) {
      const Bgr c = PictureAt(d, x, y);
      if (c == kNone) continue;
      minX = std::min(minX, x);
      minY = std::min(minY, y);
      maxX = std::max(maxX, x);
      maxY = std::max(maxY, y);
      light += c[0] > 192 && c[0] == c[1] && c[1] == c[2];  // white text, antialiased
      silver += c == Bgr{192, 192, 192};
    }
  }
  EXPECT_EQ(minX, 275);
  EXPECT_EQ(minY, 392);
  EXPECT_EQ(PictureAt(d, 275, 392), (Bgr{192, 192, 192}));
  EXPECT_GT(maxX - minX, 100);  // 31 characters
  EXPECT_GT(maxY - minY, 6);
  EXPECT_GT(light, 100);
  EXPECT_GT(silver, light);

  Bitmap again(live::kDisplayBytes, 0);
  live::DrawLimitNotice(again.data());
  EXPECT_TRUE(again == d);
}

}  // namespace
