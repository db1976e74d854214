// Recordings on disk: the measured rate, a recording without frames, and the files read by an
// independent reader (ffprobe/ffmpeg) with and without the OpenDML index.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <sstream>

#include "tests/capture/CaptureTestSupport.h"
#include "viewer/capture/core/VideoFile.h"
#include "viewer/live/core/image/Render.h"

namespace {

using capture_test::Bytes;
using capture_test::U32;
using capture_test::UniformBitmap;

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() /
          (name + "-" + std::to_string(::getpid()) + ".avi"))
      .string();
}

// Frame i of a test recording: a colour of its own.
std::array<uint8_t, 3> FrameColour(int i) {
  return {uint8_t(20 * i), uint8_t(255 - 20 * i), uint8_t(i % 2 ? 200 : 40)};
}

TEST(MeasuredRate, FramesPerSecondInHundredthsTruncated) {
  struct Case {
    int frames;
    int64_t elapsedMs;
    std::optional<uint32_t> rate;
  };
  for (const Case& c :
       {Case{300, 10000, 3000}, Case{1, 1000, 100}, Case{7, 3, 233333}, Case{12, 401, 2992},
        Case{2, 3, 66666}, Case{0, 1000, std::nullopt}, Case{10, 0, std::nullopt},
        Case{10, -5, std::nullopt}, Case{1, 200000, std::nullopt}}) {
    EXPECT_EQ(capture::MeasuredRate(c.frames, c.elapsedMs), c.rate)
        << c.frames << " frames in " << c.elapsedMs << " ms";
  }
}

// Each frame counts with the wait since the one before, unless that was an outage of over a
// second: 114 frames at 30 per second around a 3.5 s unplug play at 29.99 frames per second.
TEST(ArrivalRate, LeavesOutWaitsOverASecond) {
  std::vector<int64_t> unplugged;
  for (int i = 0; i < 114; ++i) unplugged.push_back((i + 1) * 1000 / 30 + (i >= 57 ? 3500 : 0));
  for (const auto& [times, rate] :
       {std::pair{unplugged, 2999u}, {{1000, 2000}, 100u}, {{1001, 1034}, 3030u}, {{2000}, 0u}}) {
    capture::ArrivalRate arrival(0);
    for (const int64_t t : times) arrival.Frame(t);
    EXPECT_EQ(arrival.Rate().value_or(0), rate) << times.size() << " frames";
  }
}

TEST(VideoFile, StoppedBeforeAnyFrameKeepsTheNominalRateAndHasNoIndex) {
  const std::string path = TempPath("no-frames");
  capture::VideoFile file;
  ASSERT_EQ(file.Open(path, 400, 5000), 0);
  ASSERT_EQ(file.Close(), 0);
  EXPECT_FALSE(file.WrittenRate().has_value());
  const Bytes b = capture_test::ReadFile(path);
  std::filesystem::remove(path);
  ASSERT_EQ(b.size(), 1324u);
  EXPECT_EQ(U32(b, 132), 120u);  // rate
  EXPECT_EQ(U32(b, 128), 1u);    // scale
  EXPECT_EQ(U32(b, 32), 8333u);
  EXPECT_EQ(U32(b, 64), 400u);
  EXPECT_EQ(U32(b, 224), 0u);  // no ix00
}

TEST(VideoFile, AFileThatCannotBeCreatedIsNotOpen) {
  capture::VideoFile file;
  EXPECT_EQ(file.Open("/nonexistent-directory/x.avi", 200, 0), -1);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Close(), -1);
}

// A recording of 12 frames in 401 ms (measured rate 29.92) read back by ffprobe and ffmpeg.
TEST(VideoFile, AnIndependentReaderSeesEveryFrameAtTheMeasuredRate) {
  ASSERT_TRUE(capture_test::HaveFfmpeg()) << "ffprobe and ffmpeg come with scripts/install-deps";
  constexpr int kFrames = 12;
  for (int side : {200, 202, 404}) {
    SCOPED_TRACE(side);
    const std::string path = TempPath("probe-" + std::to_string(side));
    capture::VideoFile file;
    ASSERT_EQ(file.Open(path, side, 1000), 0);
    for (int i = 0; i < kFrames; ++i) {
      const auto [b, g, r] = FrameColour(i);
      const Bytes bitmap = UniformBitmap(side, b, g, r);
      ASSERT_TRUE(file.Encode(bitmap.data(), 1000 + 401 * (i + 1) / kFrames));
      ASSERT_EQ(file.Append(), 0);
    }
    ASSERT_EQ(file.Close(), 0);
    ASSERT_EQ(file.WrittenRate(), 2992u);
    const uint32_t divisor = std::gcd(2992u, 100u);
    const std::string rate = std::to_string(2992 / divisor) + "/" + std::to_string(100 / divisor);

    for (int odml : {0, 1}) {
      SCOPED_TRACE(odml ? "OpenDML index" : "idx1");
      int status = -1;
      const std::string info = capture_test::Run(
          "ffprobe -v error -use_odml " + std::to_string(odml) +
              " -count_frames -select_streams v:0 -show_entries "
              "stream=codec_name,width,height,r_frame_rate,avg_frame_rate,nb_read_frames "
              "-of default=noprint_wrappers=1 " +
              path,
          &status);
      ASSERT_EQ(status, 0) << info;
      for (const std::string& line : std::vector<std::string>{
               "codec_name=mjpeg", "width=" + std::to_string(side),
               "height=" + std::to_string(side), "r_frame_rate=" + rate, "avg_frame_rate=" + rate,
               "nb_read_frames=" + std::to_string(kFrames)}) {
        EXPECT_NE(info.find(line + "\n"), std::string::npos) << line << " in\n" << info;
      }

      // Every frame decodes, in order: each centre shows its frame's colour.
      const std::string pixels =
          capture_test::Run("ffmpeg -v error -xerror -use_odml " + std::to_string(odml) + " -i " +
                                path + " -f rawvideo -pix_fmt bgr24 - 2>/dev/null",
                            &status);
      ASSERT_EQ(status, 0);
      const size_t frameBytes = size_t(side) * side * 3;
      ASSERT_EQ(pixels.size(), frameBytes * kFrames);
      for (int i = 0; i < kFrames; ++i) {
        const auto colour = FrameColour(i);
        const size_t centre = frameBytes * i + (size_t(side) / 2 * side + side / 2) * 3;
        for (int k = 0; k < 3; ++k) {
          EXPECT_NEAR(uint8_t(pixels[centre + k]), colour[k], 6) << "frame " << i << " byte " << k;
        }
      }
    }
    std::filesystem::remove(path);
  }
}

}  // namespace
