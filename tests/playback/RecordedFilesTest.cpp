// Files the viewer records, read back by the player's reader and decoder: every frame at the
// recorded size, in order, at the rate measured while recording.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "viewer/capture/core/VideoFile.h"
#include "viewer/playback/core/AviReader.h"
#include "viewer/playback/core/ByteSource.h"
#include "viewer/playback/core/JpegDecoder.h"

namespace {

// A capture bitmap (bottom-up BGR, rows padded to 4 bytes) of one flat grey level.
std::vector<uint8_t> FlatBitmap(int side, uint8_t level) {
  const size_t row = (static_cast<size_t>(side) * 3 + 3) & ~size_t{3};
  return std::vector<uint8_t>(row * side, level);
}

TEST(RecordedFiles, PlayFrameForFrameAtTheirMeasuredRate) {
  // 40K without and with boundary pixels, 160K without and with.
  for (int side : {200, 202, 400, 404}) {
    SCOPED_TRACE(side);
    const std::string path = ::testing::TempDir() + "recorded_" + std::to_string(side) + ".avi";
    constexpr int kFrames = 12;
    capture::VideoFile file;
    ASSERT_EQ(file.Open(path, side, 0), 0);
    for (int k = 0; k < kFrames; ++k) {
      const std::vector<uint8_t> bitmap = FlatBitmap(side, static_cast<uint8_t>(20 * k));
      // 25 frames per second: one every 40 ms.
      ASSERT_TRUE(file.Encode(bitmap.data(), 40 * (k + 1)));
      ASSERT_EQ(file.Append(), 0);
    }
    ASSERT_EQ(file.Close(), 0);
    ASSERT_TRUE(file.WrittenRate().has_value());

    playback::AviReader reader;
    ASSERT_EQ(reader.Open(playback::FileSource::Open(path)), playback::AviResult::Ok);
    EXPECT_EQ(reader.Width(), side);
    EXPECT_EQ(reader.Height(), side);
    ASSERT_EQ(reader.Frames().size(), size_t{kFrames});
    EXPECT_EQ(reader.Clock().FrameCount(), uint64_t{kFrames});
    // The rate written at the end, in hundredths, is the one the file plays at.
    EXPECT_EQ(uint64_t{reader.Clock().Rate()} * 100,
              uint64_t{*file.WrittenRate()} * reader.Clock().Scale());

    playback::JpegDecoder decoder;
    std::vector<uint8_t> jpeg;
    std::vector<uint8_t> pixels(static_cast<size_t>(side) * side * 4);
    for (int k = 0; k < kFrames; ++k) {
      ASSERT_TRUE(reader.ReadFrame(k, jpeg)) << k;
      ASSERT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), side, side, pixels.data(),
                                 static_cast<size_t>(side) * 4))
          << k;
      EXPECT_NEAR(pixels[(static_cast<size_t>(side / 2) * side + side / 2) * 4], 20 * k, 3) << k;
    }
    std::remove(path.c_str());
  }
}

}  // namespace
