// Proposed file names, BMP stills read back byte by byte and by an independent decoder, and the
// JPEG encoder's output.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "tests/capture/CaptureTestSupport.h"
#include "viewer/capture/core/ImageEncoding.h"
#include "viewer/live/core/image/Render.h"

namespace {

using capture_test::Bytes;
using capture_test::U16;
using capture_test::U32;
using capture_test::UniformBitmap;

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/capture-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

Bytes RandomFrame(int cisType, uint32_t seed) {
  Bytes frame(live::FrameBytes(cisType));
  std::mt19937 rng(seed);
  for (auto& byte : frame) byte = uint8_t(rng());
  return frame;
}

TEST(CaptureFileName, HeadTypeSizeAndLocalTime) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 14;
  t.tm_hour = 9;
  t.tm_min = 30;
  t.tm_sec = 5;
  struct Case {
    int cisType, side;
    const char* name;
  };
  for (const Case& c :
       {Case{0, 200, "40K_200x200_20260314_093005"}, Case{0, 202, "40K_202x202_20260314_093005"},
        Case{1, 400, "160K_400x400_20260314_093005"}, Case{1, 404, "160K_404x404_20260314_093005"},
        Case{0, 0, "40K_20260314_093005"}, Case{1, 0, "160K_20260314_093005"}}) {
    EXPECT_EQ(capture::MakeCaptureFileName(c.cisType, c.side, t), c.name);
  }
  t.tm_year = 1999 - 1900;
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 23;
  t.tm_min = 59;
  t.tm_sec = 59;
  EXPECT_EQ(capture::MakeCaptureFileName(1, 0, t), "160K_19991231_235959");
  // Now: the same form with today's date.
  EXPECT_EQ(capture::MakeCaptureFileName(0, 200).size(), std::string("40K_200x200_").size() + 15);
}

TEST(StillBmp, TheFileIsTheCaptureConversionBehindA54ByteHeader) {
  ASSERT_TRUE(capture_test::HaveFfmpeg()) << "ffprobe and ffmpeg come with scripts/install-deps";
  struct Case {
    int cisType;
    bool boundary;
    int side;
    uint32_t rowBytes;
  };
  const TempDir dir;
  for (const Case& c : {Case{0, false, 200, 600}, Case{0, true, 202, 608},
                        Case{1, false, 400, 1200}, Case{1, true, 404, 1212}}) {
    for (bool raw : {false, true}) {
      SCOPED_TRACE(std::to_string(c.side) + (raw ? " raw" : " colour"));
      const Bytes frame = RandomFrame(c.cisType, uint32_t(c.side) + raw);
      const std::string path = dir.File("still.bmp");
      ASSERT_TRUE(capture::SaveStill(frame.data(), c.cisType, raw, c.boundary, path));
      const Bytes file = capture_test::ReadFile(path);

      const uint32_t image = c.rowBytes * uint32_t(c.side);
      ASSERT_EQ(file.size(), 54 + image);
      EXPECT_EQ(file[0], 'B');
      EXPECT_EQ(file[1], 'M');
      EXPECT_EQ(U32(file, 2), 54 + image);
      EXPECT_EQ(U32(file, 10), 54u);
      EXPECT_EQ(U32(file, 14), 40u);
      EXPECT_EQ(U32(file, 18), uint32_t(c.side));
      EXPECT_EQ(U32(file, 22), uint32_t(c.side));  // positive: bottom-up
      EXPECT_EQ(U16(file, 26), 1);
      EXPECT_EQ(U16(file, 28), 24);
      EXPECT_EQ(U32(file, 30), 0u);  // no compression
      EXPECT_EQ(U32(file, 34), image);

      Bytes expected(image, 0);
      if (raw) {
        live::ConvertMono(expected.data(), frame.data(), c.cisType, c.boundary);
      } else {
        live::ConvertColour(expected.data(), frame.data(), c.cisType, c.boundary);
      }
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + 54));
      // The row padding is zero.
      for (int y = 0; y < c.side; ++y) {
        for (uint32_t i = uint32_t(c.side) * 3; i < c.rowBytes; ++i) {
          ASSERT_EQ(file[54 + y * c.rowBytes + i], 0);
        }
      }

      // An independent decoder sees the same picture, top row first.
      int status = -1;
      const std::string pixels = capture_test::Run(
          "ffmpeg -v error -i " + path + " -f rawvideo -pix_fmt bgr24 - 2>/dev/null", &status);
      ASSERT_EQ(status, 0);
      ASSERT_EQ(pixels.size(), size_t(c.side) * c.side * 3);
      for (int y = 0; y < c.side; ++y) {
        const uint8_t* row = expected.data() + size_t(c.side - 1 - y) * c.rowBytes;
        ASSERT_EQ(std::memcmp(pixels.data() + size_t(y) * c.side * 3, row, size_t(c.side) * 3), 0)
            << "row " << y;
      }
    }
  }
}

TEST(StillBmp, AFileThatCannotBeWrittenIsReported) {
  const Bytes bitmap = UniformBitmap(200, 1, 2, 3);
  EXPECT_FALSE(capture::WriteBmp24("/nonexistent-directory/still.bmp", bitmap.data(), 200));
  const TempDir dir;
  {
    const capture_test::FileSizeLimit disk(50000);
    EXPECT_FALSE(capture::WriteBmp24(dir.File("full.bmp"), bitmap.data(), 200));
  }
  EXPECT_FALSE(capture::WriteBmp24("/tmp/never-written.bmp", nullptr, 200));
}

TEST(JpegEncoder, QualityEightyPicturesDecodeUprightIntoOneReusedBuffer) {
  capture::JpegEncoder encoder;
  tjhandle decoder = tjInitDecompress();
  ASSERT_NE(decoder, nullptr);
  const uint8_t* buffer = nullptr;
  for (int side : {200, 202, 400, 404}) {
    SCOPED_TRACE(side);
    // Top half red, bottom half blue; bottom-up, so the red rows are the last in memory.
    Bytes bitmap = UniformBitmap(side, 255, 0, 0);
    const Bytes red = UniformBitmap(side, 0, 0, 255);
    const size_t half = size_t(live::CaptureRowBytes(side)) * size_t(side - side / 2);
    std::copy(red.begin() + std::ptrdiff_t(half), red.end(), bitmap.begin() + std::ptrdiff_t(half));

    const size_t length = encoder.Encode(bitmap.data(), side);
    ASSERT_GT(length, 100u);
    if (buffer == nullptr) buffer = encoder.Data();
    EXPECT_EQ(encoder.Data(), buffer);  // the same buffer every time
    EXPECT_EQ(encoder.Data()[0], 0xFF);
    EXPECT_EQ(encoder.Data()[1], 0xD8);
    EXPECT_EQ(encoder.Data()[length - 2], 0xFF);
    EXPECT_EQ(encoder.Data()[length - 1], 0xD9);

    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    ASSERT_EQ(tjDecompressHeader3(decoder, encoder.Data(), length, &width, &height, &subsampling,
                                  &colourspace),
              0);
    EXPECT_EQ(width, side);
    EXPECT_EQ(height, side);
    Bytes decoded(size_t(side) * side * 3);
    ASSERT_EQ(
        tjDecompress2(decoder, encoder.Data(), length, decoded.data(), side, 0, side, TJPF_BGR, 0),
        0);
    const uint8_t* top = decoded.data() + (size_t(side) / 4 * side + side / 2) * 3;
    const uint8_t* bottom = decoded.data() + (size_t(side) * 3 / 4 * side + side / 2) * 3;
    EXPECT_LT(top[0], 16);
    EXPECT_GT(top[2], 235);
    EXPECT_GT(bottom[0], 235);
    EXPECT_LT(bottom[2], 16);
  }
  tjDestroy(decoder);
  const Bytes bitmap = UniformBitmap(404, 0, 0, 0);
  EXPECT_EQ(encoder.Encode(bitmap.data(), 405), 0u);
  EXPECT_EQ(encoder.Encode(bitmap.data(), 0), 0u);
  EXPECT_EQ(encoder.Encode(nullptr, 200), 0u);
}

}  // namespace
