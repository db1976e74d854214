// The BMP reader on every row order and pixel layout it takes, and on headers that lie.
#include <gtest/gtest.h>

#include <functional>

#include "tests/playback/MediaFiles.h"
#include "viewer/playback/core/BmpReader.h"

namespace {

using playback::BmpInfo;
using playback::BmpResult;
using testmedia::Bytes;

struct Layout {
  int bitCount;
  bool topDown;
  int infoSize;
  bool bitfields;
};

TEST(BmpReader, EveryLayoutGivesThePicturePixelForPixel) {
  const Layout layouts[] = {
      {24, false, 40, false}, {24, true, 40, false}, {32, false, 40, false},  {32, true, 40, false},
      {32, false, 40, true},  {32, true, 108, true}, {24, false, 124, false}, {32, false, 56, true},
  };
  // 13 pixels make 39-byte rows padded to 40 at 24 bits.
  constexpr int kWidth = 13;
  constexpr int kHeight = 6;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(testing::Message() << l.bitCount << " bits, top-down " << l.topDown << ", header "
                                    << l.infoSize << ", masks " << l.bitfields);
    const Bytes file = testmedia::BuildBmp(kWidth, kHeight, l.bitCount, l.topDown,
                                           testmedia::Pattern, l.infoSize, l.bitfields);
    playback::MemorySource source(file.data(), file.size());
    BmpInfo info;
    ASSERT_EQ(ReadBmpInfo(source, info), BmpResult::Ok);
    EXPECT_EQ(info.width, kWidth);
    EXPECT_EQ(info.height, kHeight);
    const size_t stride = kWidth * 4 + 8;
    Bytes pixels(stride * kHeight, 0);
    Bytes row(info.rowBytes);
    ASSERT_TRUE(ReadBmpPixels(source, info, pixels.data(), stride, row.data()));
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        const uint8_t* p = &pixels[size_t(y) * stride + size_t(x) * 4];
        const testmedia::Rgb c = testmedia::Pattern(x, y);
        ASSERT_EQ(p[0], c.b) << x << "," << y;
        ASSERT_EQ(p[1], c.g) << x << "," << y;
        ASSERT_EQ(p[2], c.r) << x << "," << y;
        ASSERT_EQ(p[3], 0xFF) << x << "," << y;
      }
    }
  }
}

void Put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

struct Lie {
  const char* name;
  std::function<void(Bytes&)> damage;
  BmpResult result;
};

TEST(BmpReader, LyingHeadersAreRefusedBeforeAPixelIsRead) {
  const Lie lies[] = {
      {"not BM", [](Bytes& b) { b[1] = 'X'; }, BmpResult::NotBmp},
      {"core header", [](Bytes& b) { Put32(b, 14, 12); }, BmpResult::NotBmp},
      {"unknown header size", [](Bytes& b) { Put32(b, 14, 41); }, BmpResult::NotBmp},
      {"pixels past the end", [](Bytes& b) { Put32(b, 10, uint32_t(b.size())); },
       BmpResult::Truncated},
      {"pixels inside the header", [](Bytes& b) { Put32(b, 10, 20); }, BmpResult::Truncated},
      {"one byte short", [](Bytes& b) { b.pop_back(); }, BmpResult::Truncated},
      {"taller than the file", [](Bytes& b) { Put32(b, 22, 4000); }, BmpResult::Truncated},
      {"width 0", [](Bytes& b) { Put32(b, 18, 0); }, BmpResult::BadSize},
      {"width below zero", [](Bytes& b) { Put32(b, 18, uint32_t(-13)); }, BmpResult::BadSize},
      {"height -2^31", [](Bytes& b) { Put32(b, 22, 0x80000000u); }, BmpResult::BadSize},
      {"huge picture", [](Bytes& b) { Put32(b, 18, 0x7FFFFFFF); }, BmpResult::BadSize},
      {"two planes", [](Bytes& b) { b[26] = 2; }, BmpResult::Unsupported},
      {"16 bits", [](Bytes& b) { b[28] = 16; }, BmpResult::Unsupported},
      {"run-length coded", [](Bytes& b) { Put32(b, 30, 1); }, BmpResult::Unsupported},
      {"masks at 24 bits", [](Bytes& b) { Put32(b, 30, 3); }, BmpResult::Unsupported},
      {"header cut short", [](Bytes& b) { b.resize(40); }, BmpResult::NotBmp},
  };
  for (const Lie& lie : lies) {
    SCOPED_TRACE(lie.name);
    Bytes file = testmedia::BuildBmp(13, 6, 24, false, testmedia::Pattern);
    lie.damage(file);
    playback::MemorySource source(file.data(), file.size());
    BmpInfo info;
    EXPECT_EQ(ReadBmpInfo(source, info), lie.result);
  }
  // Colour masks other than blue, green, red bytes.
  Bytes file = testmedia::BuildBmp(13, 6, 32, false, testmedia::Pattern, 40, true);
  Put32(file, 54, 0x000000FF);
  playback::MemorySource source(file.data(), file.size());
  BmpInfo info;
  EXPECT_EQ(ReadBmpInfo(source, info), BmpResult::Unsupported);
}

}  // namespace
