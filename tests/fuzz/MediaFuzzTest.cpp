// Random damage to AVI and BMP files on their way into playback: seeded mutations of valid files
// for a fixed number of rounds, each opened and decoded from a buffer of exactly its size, so the
// sanitizer presets catch any read past it.
#include <gtest/gtest.h>

#include <random>

#include "tests/playback/MediaFiles.h"
#include "viewer/playback/core/MediaFile.h"

namespace {

using testmedia::Bytes;

class MediaFuzz : public ::testing::Test {
 protected:
  std::mt19937 random{20261207};
  uint32_t Pick(uint32_t low, uint32_t high) {
    return std::uniform_int_distribution<uint32_t>(low, high)(random);
  }

  // One to four changes: flipped bytes, 32-bit fields set to values that trip size arithmetic,
  // a cut, or bytes inserted.
  Bytes Mutate(Bytes file) {
    const uint32_t changes = Pick(1, 4);
    for (uint32_t c = 0; c < changes && !file.empty(); ++c) {
      const size_t at = Pick(0, uint32_t(file.size() - 1));
      switch (Pick(0, 3)) {
        case 0:
          file[at] ^= uint8_t(1u << Pick(0, 7));
          break;
        case 1: {
          static constexpr uint32_t kValues[] = {
              0, 1, 3, 4, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu, 0x7E000000, 65536, 200, 8192};
          uint32_t v = Pick(0, 1) ? kValues[Pick(0, std::size(kValues) - 1)] : uint32_t(random());
          if (Pick(0, 3) == 0) v = uint32_t(file.size() - at) + Pick(0, 16) - 8;
          for (size_t i = 0; i < 4 && (at & ~size_t{3}) + i < file.size(); ++i) {
            file[(at & ~size_t{3}) + i] = uint8_t(v >> (8 * i));
          }
          break;
        }
        case 2:
          file.resize(at);
          break;
        default:
          file.insert(file.begin() + long(at), Pick(1, 9), uint8_t(Pick(0, 255)));
          break;
      }
    }
    return file;
  }

  // Opens the file and decodes its first frames; false when it did not open.
  static bool Play(const Bytes& file) {
    auto media =
        playback::MediaFile::Open(std::make_unique<testmedia::ExactSource>(file, file.size()));
    if (!media) return false;
    EXPECT_GT(media->Width(), 0);
    EXPECT_GT(media->Height(), 0);
    EXPECT_GE(media->FrameCount(), 1u);
    const size_t stride = size_t(media->Width()) * 4;
    std::unique_ptr<uint8_t[]> pixels(new uint8_t[stride * size_t(media->Height())]);
    for (uint64_t i = 0; i < std::min<uint64_t>(media->FrameCount(), 4); ++i) {
      media->Decode(i, pixels.get(), stride);
    }
    return true;
  }

  void Run(const std::vector<Bytes>& seeds, int rounds) {
    for (const Bytes& seed : seeds) ASSERT_TRUE(Play(seed));
    int opened = 0;
    for (int i = 0; i < rounds; ++i) {
      opened += Play(Mutate(seeds[size_t(i) % seeds.size()])) ? 1 : 0;
    }
    // The damage leaves many files playable, so the decoders are reached too.
    EXPECT_GT(opened, rounds / 10);
  }
};

TEST_F(MediaFuzz, DamagedAviFilesNeverCrashOrReadOutside) {
  testmedia::AviPlan recorder;
  recorder.width = 16;
  recorder.height = 16;
  recorder.segments = {testmedia::MakeFrames(3, 16, 16)};
  testmedia::AviPlan segmented = recorder;
  segmented.writerLayout = false;
  segmented.audioFirst = true;
  segmented.segments = {testmedia::MakeFrames(2, 16, 16), testmedia::MakeFrames(2, 16, 16, 2)};
  testmedia::AviPlan unfinished = recorder;
  unfinished.finished = false;
  Run({BuildAvi(recorder), BuildAvi(segmented), BuildAvi(unfinished)}, 20000);
}

TEST_F(MediaFuzz, DamagedBmpFilesNeverCrashOrReadOutside) {
  std::vector<Bytes> seeds;
  for (int bits : {24, 32}) {
    for (bool topDown : {false, true}) {
      seeds.push_back(testmedia::BuildBmp(7, 5, bits, topDown, testmedia::Pattern));
    }
  }
  seeds.push_back(testmedia::BuildBmp(7, 5, 32, false, testmedia::Pattern, 124, true));
  Run(seeds, 20000);
}

}  // namespace
