// Frame times of the stream clock: exact at every frame boundary, for common and odd rates.
#include <gtest/gtest.h>

#include "viewer/playback/core/Timeline.h"

namespace {

using playback::Timeline;

struct Rate {
  uint32_t rate;
  uint32_t scale;
  int64_t frame1Us;  // start of frame 1
  int64_t duration;  // of 300 frames
};

TEST(Timeline, EveryFrameStartsWhereTheLastEnds) {
  const Rate rates[] = {
      {30, 1, 33334, 10000000},     {30000, 1001, 33367, 10010000},
      {1234, 100, 81038, 24311184}, {10000000, 333333, 33334, 9999990},
      {1, 2, 2000000, 600000000},   {4294967295u, 4294967295u, 1000000, 300000000},
  };
  for (const Rate& r : rates) {
    SCOPED_TRACE(testing::Message() << r.rate << "/" << r.scale);
    const Timeline t(r.rate, r.scale, 300);
    ASSERT_EQ(t.FrameCount(), 300u);
    EXPECT_EQ(t.FrameStart(0), 0);
    EXPECT_EQ(t.FrameStart(1), r.frame1Us);
    EXPECT_EQ(t.Duration(), r.duration);
    for (uint64_t k = 1; k <= 300; ++k) {
      const int64_t start = t.FrameStart(k);
      ASSERT_EQ(t.FrameAt(start), k) << k;
      ASSERT_EQ(t.FrameAt(start - 1), k - 1) << k;
    }
    EXPECT_EQ(t.FrameAt(-5), 0u);
    EXPECT_EQ(t.FrameAt(INT64_MAX), 300u);
  }
}

TEST(Timeline, StreamsThatCannotBeTimedAreRefused) {
  EXPECT_FALSE(Timeline::Fits(0, 1, 10));
  EXPECT_FALSE(Timeline::Fits(30, 0, 10));
  EXPECT_TRUE(Timeline::Fits(1, 1, Timeline::kMaxSeconds));
  EXPECT_FALSE(Timeline::Fits(1, 1, Timeline::kMaxSeconds + 1));
  EXPECT_FALSE(Timeline::Fits(1, 4294967295u, 1));
  EXPECT_EQ(Timeline(0, 1, 10).FrameCount(), 0u);
}

TEST(StreamPosition, PausedTimeDoesNotCount) {
  playback::StreamPosition p;
  p.Start(1000);
  EXPECT_EQ(p.At(8000), 7000);
  p.Pause(8000);
  EXPECT_EQ(p.At(20000), 7000);
  p.Resume(20000);
  EXPECT_EQ(p.At(21500), 8500);
}

}  // namespace
