// The decoding thread: frames in order, a jump ahead, a frame that fails, a still.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/playback/MediaFiles.h"
#include "viewer/playback/FrameDecoder.h"

namespace {

using playback::FrameDecoder;
using testmedia::Bytes;

constexpr int kSide = 48;

std::unique_ptr<playback::MediaFile> Open(const Bytes& file) {
  return playback::MediaFile::Open(
      std::make_unique<playback::MemorySource>(file.data(), file.size()));
}

// True once `done` holds (polled for at most five seconds).
template <typename Done>
bool WaitUntil(Done&& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Takes frame `wanted` as soon as the decoder has it.
const uint8_t* TakeWhenReady(FrameDecoder& decoder, uint64_t wanted) {
  const uint8_t* pixels = nullptr;
  WaitUntil([&] { return (pixels = decoder.Take(wanted)) != nullptr; });
  return pixels;
}

void ExpectColour(const uint8_t* pixels, int frame) {
  ASSERT_NE(pixels, nullptr) << frame;
  const testmedia::Rgb c = testmedia::FrameColour(frame);
  const uint8_t* centre = pixels + (kSide / 2) * kSide * 4 + kSide * 2;
  EXPECT_NEAR(centre[2], c.r, 3) << frame;
  EXPECT_NEAR(centre[1], c.g, 3) << frame;
  EXPECT_NEAR(centre[0], c.b, 3) << frame;
}

Bytes Video(int frames, int broken = -1) {
  testmedia::AviPlan plan;
  plan.width = kSide;
  plan.height = kSide;
  plan.segments = {testmedia::MakeFrames(frames, kSide, kSide)};
  if (broken >= 0) plan.segments[0][size_t(broken)] = Bytes(500, 0x5A);
  return BuildAvi(plan);
}

TEST(FrameDecoder, HandsOutFramesInOrderAndJumpsWithTheClock) {
  const Bytes file = Video(12);
  FrameDecoder decoder(Open(file), [] {});
  ASSERT_TRUE(decoder.Start());
  EXPECT_EQ(decoder.Stride(), size_t(kSide) * 4);
  for (int k = 0; k < 4; ++k) {
    ExpectColour(TakeWhenReady(decoder, uint64_t(k)), k);
    // Taken once only.
    EXPECT_EQ(decoder.Take(uint64_t(k)), nullptr);
  }
  ExpectColour(TakeWhenReady(decoder, 10), 10);
  ExpectColour(TakeWhenReady(decoder, 11), 11);
  EXPECT_EQ(decoder.FailedFrame(), -1);
}

TEST(FrameDecoder, AFailedFrameStopsDecodingAndIsReported) {
  const Bytes file = Video(6, 3);
  std::atomic<int> calls{0};
  FrameDecoder decoder(Open(file), [&] { ++calls; });
  ASSERT_TRUE(decoder.Start());
  for (int k = 0; k < 3; ++k) ExpectColour(TakeWhenReady(decoder, uint64_t(k)), k);
  ASSERT_TRUE(WaitUntil([&] { return decoder.FailedFrame() >= 0; }));
  EXPECT_EQ(decoder.FailedFrame(), 3);
  EXPECT_EQ(decoder.Take(3), nullptr);
  EXPECT_EQ(decoder.Take(4), nullptr);
  EXPECT_GE(calls.load(), 1);
}

TEST(FrameDecoder, AStillIsDecodedOnce) {
  const Bytes file = testmedia::BuildBmp(kSide, kSide, 24, false,
                                         [](int, int) { return testmedia::FrameColour(2); });
  FrameDecoder decoder(Open(file), [] {});
  ASSERT_TRUE(decoder.Start());
  EXPECT_TRUE(decoder.Media().Still());
  ExpectColour(TakeWhenReady(decoder, 0), 2);
  EXPECT_EQ(decoder.Take(0), nullptr);
  EXPECT_EQ(decoder.Take(1), nullptr);
}

}  // namespace
