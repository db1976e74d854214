// Frame kernels against hand-computed values and a plain per-pixel model of the conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace {

using Bgr = std::array<int, 3>;
using Frame = std::vector<uint8_t>;
using Bitmap = std::vector<uint8_t>;

Frame UniformFrame(int cisType, uint16_t word) {
  Frame f(live::FrameBytes(cisType));
  for (size_t i = 0; i < f.size(); i += 2) {
    f[i] = uint8_t(word);
    f[i + 1] = uint8_t(word >> 8);
  }
  return f;
}

Frame RandomFrame(int cisType, uint32_t seed) {
  Frame f(live::FrameBytes(cisType));
  std::mt19937 rng(seed);
  for (auto& byte : f) byte = uint8_t(rng());
  return f;
}

void SetWord(Frame& f, size_t index, uint16_t word) {
  f[2 * index] = uint8_t(word);
  f[2 * index + 1] = uint8_t(word >> 8);
}

Frame MarkedFrame(int cisType) {
  Frame f = UniformFrame(cisType, 0x8000);
  const size_t words = f.size() / 2;
  SetWord(f, 0, 0xFF00);
  SetWord(f, 1, 0x0080);
  SetWord(f, words - 2, 0xFF00);
  SetWord(f, words - 1, 0x009D);
  return f;
}

Bgr PictureAt(const Bitmap& d, int x, int y) {
  const uint8_t* p = d.data() + size_t(807 - y) * live::kDisplayRowBytes + size_t(x) * 3;
  return {p[0], p[1], p[2]};
}

// The conversion written out with 64-bit floor division and an ordinary clamp.
int FloorShift20(int64_t v) {
  return int((v >= 0 ? v : v - ((1 << 20) - 1)) / (1 << 20));
}
int Clamp(int v) {
  return std::clamp(v, 0, 255);
}
int FrameWord(const Frame& f, int n, int x, int y, int w) {
  const size_t i = (size_t(y) * n + x) * 4 + 2 * w;
  return f[i] | f[i + 1] << 8;
}

Bgr ReferencePixel(const Frame& f, int n, int x, int y, bool mono) {
  if (mono) {
    const int v = f[(size_t(y) * n + x) * 4 + 3];
    return {v, v, v};
  }
  const int pairX = x - x % 2;
  const int64_t u = (FrameWord(f, n, pairX, y, 0) / 16) - 2048;
  const int64_t v = (FrameWord(f, n, pairX + 1, y, 0) / 16) - 2048;
  const int64_t l = int64_t(FrameWord(f, n, x, y, 1) / 16) * 65536;
  return {Clamp(FloorShift20(l + 116064 * u)), Clamp(FloorShift20(l - 22649 * u - 46825 * v)),
          Clamp(FloorShift20(l + 91894 * v))};
}

Bitmap ReferenceDisplay(const Frame& f, int cisType, int z, bool mono) {
  const int n = live::Geometry(cisType).n;
  Bitmap d(live::kDisplayBytes, 0);
  for (int y = 0; y < std::min(n * z, 808); ++y) {
    for (int x = 0; x < std::min(n * z, 808); ++x) {
      const Bgr c = ReferencePixel(f, n, x / z, y / z, mono);
      uint8_t* p = d.data() + size_t(807 - y) * live::kDisplayRowBytes + size_t(x) * 3;
      std::copy(c.begin(), c.end(), p);
    }
  }
  return d;
}

Bitmap Rendered(const Frame& f, int cisType, int z, bool mono) {
  Bitmap d(live::kDisplayBytes, 0x5A);  // stale picture: everything must be overwritten
  (mono ? live::RenderMono : live::RenderColour)(f.data(), cisType, z, d.data(),
                                                 live::kDisplaySide);
  return d;
}

struct HeadZoom {
  int cisType;
  int zoom;
};
constexpr HeadZoom kViews[] = {{0, 1}, {0, 2}, {0, 4}, {1, 1}, {1, 2}, {1, 4}};

TEST(RenderColour, GreyPairAndClampedExtremes) {
  Frame f = UniformFrame(0, 0x8000);
  SetWord(f, 3, 0xFFF0);  // pixel 1: luma 4095
  SetWord(f, 5, 0x0000);  // pair 1: Cb centred, Cr 0 (V = -2048), luma 0
  SetWord(f, 6, 0x0000);
  SetWord(f, 8, 0xFFF0);  // pair 2: U = +2047 with full luma saturates blue
  SetWord(f, 9, 0xFFF0);
  const Bitmap d = Rendered(f, 0, 1, false);
  EXPECT_EQ(PictureAt(d, 0, 0), (Bgr{128, 128, 128}));
  EXPECT_EQ(PictureAt(d, 1, 0), (Bgr{255, 255, 255}));
  EXPECT_EQ(PictureAt(d, 2, 0)[2], 0);  // red -180 before clamping
  EXPECT_EQ(PictureAt(d, 2, 0), ReferencePixel(f, 202, 2, 0, false));
  EXPECT_EQ(PictureAt(d, 4, 0)[0], 255);
  EXPECT_EQ(PictureAt(d, 4, 0), ReferencePixel(f, 202, 4, 0, false));
}

TEST(RenderColour, PictureSizeAndBlackRest) {
  for (const HeadZoom v : {HeadZoom{0, 4}, HeadZoom{1, 2}, HeadZoom{0, 1}, HeadZoom{1, 4}}) {
    Bitmap d = Rendered(UniformFrame(v.cisType, 0x8000), v.cisType, v.zoom, false);
    // Told the bitmap is black beyond 404 pixels, a render clears up to there only.
    std::fill_n(d.begin() + 404 * 2424 + 1200, 6, 0x5A);  // picture (400, 403)
    live::RenderColour(UniformFrame(v.cisType, 0x8000).data(), v.cisType, v.zoom, d.data(), 404);
    const int side = std::min(live::Geometry(v.cisType).n * v.zoom, 808);
    int wrong = 0;
    for (int y = 0; y < 808; ++y) {
      for (int x = 0; x < 808; ++x) {
        const Bgr expected = x < side && y < side ? Bgr{128, 128, 128} : Bgr{0, 0, 0};
        wrong += PictureAt(d, x, y) != expected;
      }
    }
    EXPECT_EQ(wrong, 0) << "head " << v.cisType << " zoom " << v.zoom;
  }
}

// Every kernel level this processor has must give the reference bytes.
class Kernels : public ::testing::TestWithParam<live::KernelLevel> {
 protected:
  void SetUp() override { live::UseKernels(GetParam()); }
  void TearDown() override { live::UseKernels(live::KernelLevel::Best); }
};

std::string LevelName(const ::testing::TestParamInfo<live::KernelLevel>& info) {
  switch (info.param) {
    case live::KernelLevel::Scalar:
      return "Scalar";
    case live::KernelLevel::Ssse3:
      return "Ssse3";
    default:
      return "Avx2";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, Kernels,
                         ::testing::Values(live::KernelLevel::Scalar, live::KernelLevel::Ssse3,
                                           live::KernelLevel::Avx2),
                         LevelName);

TEST_P(Kernels, RandomFramesMatchReference) {
  for (const HeadZoom v : kViews) {
    const Frame f = RandomFrame(v.cisType, 17 + v.zoom);
    for (const bool mono : {false, true}) {
      EXPECT_TRUE(Rendered(f, v.cisType, v.zoom, mono) ==
                  ReferenceDisplay(f, v.cisType, v.zoom, mono))
          << "head " << v.cisType << " zoom " << v.zoom << " mono " << mono;
    }
  }
  // Zoom factors the views never offer draw at 100 %.
  const Frame f = RandomFrame(0, 3);
  EXPECT_TRUE(Rendered(f, 0, 3, false) == ReferenceDisplay(f, 0, 1, false));
  EXPECT_TRUE(Rendered(f, 0, -2, true) == ReferenceDisplay(f, 0, 1, true));
}

TEST(BlankBoundary, RingWidthPerHeadAndZoom) {
  for (const HeadZoom v : kViews) {
    Bitmap d = Rendered(UniformFrame(v.cisType, 0x8000), v.cisType, v.zoom, false);
    live::BlankBoundary(v.cisType, v.zoom, d.data());
    const live::FrameGeometry g = live::Geometry(v.cisType);
    const int side = g.n * v.zoom;
    const int edge = g.b * v.zoom;
    int wrong = 0;
    for (int y = 0; y < 808; ++y) {
      for (int x = 0; x < 808; ++x) {
        const bool inside = x < side && y < side;
        const bool ring = x < edge || y < edge || x >= side - edge || y >= side - edge;
        const Bgr expected = inside && !ring ? Bgr{128, 128, 128} : Bgr{0, 0, 0};
        wrong += PictureAt(d, x, y) != expected;
      }
    }
    EXPECT_EQ(wrong, 0) << "head " << v.cisType << " zoom " << v.zoom;
  }
}

TEST(Capture, RowSizes) {
  EXPECT_EQ(live::CaptureRowBytes(live::CaptureSide(0, false)), 600);
  EXPECT_EQ(live::CaptureRowBytes(live::CaptureSide(0, true)), 608);
  EXPECT_EQ(live::CaptureRowBytes(live::CaptureSide(1, false)), 1200);
  EXPECT_EQ(live::CaptureRowBytes(live::CaptureSide(1, true)), 1212);
  EXPECT_EQ(live::CaptureBytes(0, true), 608u * 202u);
}

// Hidden 40K boundary: rows 1..200 but columns 0..199, since a colour pair is never split.
TEST(Capture, FortyKKeepsWholePairs) {
  Frame f(live::FrameBytes(0));
  for (int y = 0; y < 202; ++y) {
    for (int x = 0; x < 202; ++x) f[(size_t(y) * 202 + x) * 4 + 3] = uint8_t(x);
  }
  std::vector<uint8_t> dest(live::CaptureBytes(0, false));
  live::ConvertMono(dest.data(), f.data(), 0, false);
  const uint8_t* top = dest.data() + 199 * 600;  // picture row 0 is the last row in memory
  EXPECT_EQ(top[0], 0);
  EXPECT_EQ(top[199 * 3], 199);

  for (int y = 0; y < 202; ++y) {
    for (int x = 0; x < 202; ++x) f[(size_t(y) * 202 + x) * 4 + 3] = uint8_t(y);
  }
  live::ConvertMono(dest.data(), f.data(), 0, false);
  EXPECT_EQ(dest[199 * 600], 1);
  EXPECT_EQ(dest[0], 200);
}

TEST_P(Kernels, PaintingRowsBecomeOpaqueArgbWithoutReadingPastTheirEnd) {
  std::mt19937 random(7);
  for (const int count : {0, 1, 5, 6, 7, 202, 808}) {
    // The row ends exactly where its memory ends, so an over-read trips the sanitizers.
    std::vector<uint8_t> bgr(size_t(3) * count);
    for (uint8_t& byte : bgr) byte = uint8_t(random());
    std::vector<uint32_t> argb(size_t(count) + 1, 0x12345678u);
    live::BgrToArgb32(bgr.data(), count, argb.data());
    for (int x = 0; x < count; ++x) {
      const uint32_t expected =
          0xFF000000u | uint32_t(bgr[3 * x + 2]) << 16 | uint32_t(bgr[3 * x + 1]) << 8 | bgr[3 * x];
      ASSERT_EQ(argb[size_t(x)], expected) << "count " << count << " pixel " << x;
    }
    EXPECT_EQ(argb[size_t(count)], 0x12345678u) << "count " << count;
  }
}

TEST_P(Kernels, RandomCaptureFramesMatchReferenceAndKeepPadding) {
  for (const int cisType : {0, 1}) {
    for (const bool shown : {false, true}) {
      for (const bool mono : {false, true}) {
        const Frame f = RandomFrame(cisType, 99 + cisType);
        const int n = live::Geometry(cisType).n;
        const int a = shown ? 0 : live::Geometry(cisType).b;
        const int side = live::CaptureSide(cisType, shown);
        const int rowBytes = live::CaptureRowBytes(side);
        std::vector<uint8_t> dest(live::CaptureBytes(cisType, shown) + 16, 0xAB);
        std::vector<uint8_t> expected = dest;
        for (int y = 0; y < side; ++y) {
          for (int x = 0; x < side; ++x) {
            const Bgr c = ReferencePixel(f, n, x + a - a % 2, y + a, mono);
            std::copy(c.begin(), c.end(), expected.begin() + (side - 1 - y) * rowBytes + x * 3);
          }
        }
        (mono ? live::ConvertMono : live::ConvertColour)(dest.data(), f.data(), cisType, shown);
        EXPECT_TRUE(dest == expected)
            << "head " << cisType << " shown " << shown << " mono " << mono;
      }
    }
  }
}

TEST(CheckFrame, LengthAndMarkers) {
  Frame f = MarkedFrame(0);
  const auto length = uint32_t(f.size());
  EXPECT_EQ(live::CheckFrame(f.data(), length, 0), 0);
  EXPECT_EQ(live::CheckFrame(f.data(), length, 1), 1);
  EXPECT_EQ(live::CheckFrame(f.data(), length - 4, 0), 1);
  EXPECT_EQ(live::CheckFrame(nullptr, length, 0), 1);
  const Frame big = MarkedFrame(1);
  EXPECT_EQ(live::CheckFrame(big.data(), uint32_t(big.size()), 1), 0);

  const size_t words = f.size() / 2;
  for (const size_t index : {size_t{0}, size_t{1}, words - 2, words - 1}) {
    Frame bad = f;
    bad[2 * index] ^= 1;
    EXPECT_EQ(live::CheckFrame(bad.data(), length, 0), 2) << "word " << index;
  }
  SetWord(f, words - 1, 0x009C);
  EXPECT_EQ(live::CheckFrame(f.data(), length, 0), 2);
}

}  // namespace
