// Frame ring, data semaphore and the read time-out, on the simulated unit's stream.
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "FrameHelpers.h"
#include "SimFixture.h"

namespace qeltest {
namespace {

class Frames : public SimFixture {
 protected:
  QEL_HANDLE Semaphore() {
    QEL_HANDLE handle = nullptr;
    EXPECT_EQ(QEL_GetDataSemaphoHandle(&handle), 0);
    EXPECT_NE(handle, nullptr);
    return handle;
  }

  // Waits for the first frame, then stops the stream; a frame already on its way may still
  // land, so wait until the counter has been still for a while.
  void HoldStream() {
    ASSERT_TRUE(WaitFor([] { return FrameIndex() > 0; }));
    unit().SetStreamStalled(true);
    int settled = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
          const int now = FrameIndex();
          if (now == settled) return true;
          settled = now;
          std::this_thread::sleep_for(std::chrono::milliseconds(60));
          return false;
        },
        2000));
  }
};

TEST_F(Frames, NullArgumentsAreRefused) {
  EXPECT_EQ(QEL_GetDataSemaphoHandle(nullptr), -1);
  EXPECT_EQ(QEL_GetIndex(nullptr), -1);
}

TEST_F(Frames, NoFrameBeforeTheFirstArrives) {
  QEL_Term();
  unit().SetStreamStalled(true);
  ASSERT_EQ(QEL_Init(), 0);
  ASSERT_TRUE(WaitFor(Connected));
  std::vector<uint8_t> frame(kFrame40K, 0xEE);
  unsigned int length = 12345;
  EXPECT_EQ(QEL_GetFrame(frame.data(), kFrame40K, &length), -1);
  EXPECT_EQ(length, 12345u);
  EXPECT_EQ(frame[0], 0xEE);
  EXPECT_EQ(FrameIndex(), 0);

  unit().SetStreamStalled(false);
  ASSERT_TRUE(WaitFor([] { return FrameIndex() > 0; }));
  EXPECT_EQ(QEL_GetFrame(frame.data(), kFrame40K, &length), 0);
  EXPECT_EQ(length, kFrame40K);
  EXPECT_TRUE(FrameLooksRight(frame.data(), length));
}

TEST_F(Frames, SameFrameTwiceAndSizeZero) {
  HoldStream();
  std::vector<uint8_t> first(kFrame40K), second(kFrame40K, 0);
  unsigned int length = 0;
  const int result = QEL_GetFrame(first.data(), kFrame40K, &length);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(length, kFrame40K);
  EXPECT_EQ(QEL_GetFrame(second.data(), kFrame40K, nullptr), 1);
  EXPECT_EQ(first, second);

  uint8_t untouched = 0x77;
  length = 0;
  EXPECT_EQ(QEL_GetFrame(&untouched, 0, &length), 1);
  EXPECT_EQ(untouched, 0x77);
  EXPECT_EQ(length, kFrame40K);

  // The next frame is new again, and size 0 still says so.
  unit().SetStreamStalled(false);
  const int seen = FrameIndex();
  ASSERT_TRUE(WaitFor([&] { return FrameIndex() > seen; }));
  EXPECT_EQ(QEL_GetFrame(nullptr, 0, &length), 0);
}

TEST_F(Frames, FramesCarryTheirSequenceNumberAtBothEnds) {
  std::vector<uint8_t> frame(kFrame40K);
  unsigned int length = 0;
  uint16_t numbers[2] = {};
  for (uint16_t& number : numbers) {
    const int seen = FrameIndex();
    ASSERT_TRUE(WaitFor([&] { return FrameIndex() > seen; }));
    ASSERT_GE(QEL_GetFrame(frame.data(), kFrame40K, &length), 0);
    ASSERT_TRUE(FrameIsWhole(frame.data(), length));
    number = Word(frame.data(), 2);
  }
  EXPECT_NE(numbers[0], numbers[1]);
}

TEST_F(Frames, LargeFrameIsCutToTheDestination) {
  unit().SetHead(1);
  ASSERT_TRUE(WaitFor([] {
    unsigned int length = 0;
    return QEL_GetFrame(nullptr, 0, &length) >= 0 && length == kFrame160K;
  }));
  HoldStream();
  std::vector<uint8_t> frame(kFrame40K + 16, 0xCD);
  unsigned int length = 0;
  QEL_GetFrame(frame.data(), kFrame40K, &length);
  EXPECT_EQ(length, kFrame160K);
  for (size_t i = kFrame40K; i < frame.size(); ++i) ASSERT_EQ(frame[i], 0xCD);
  EXPECT_EQ(Word(frame.data(), 0), 0xFF00);
  EXPECT_EQ(Word(frame.data(), 1), 0x0080);
}

TEST_F(Frames, SemaphoreSaturatesAtSixty) {
  QEL_HANDLE sem = Semaphore();
  QELSIM_SetFrameRate(0);  // about 326 frames per second with the 40K head
  ASSERT_TRUE(WaitFor([] { return FrameIndex() > 80; }, 3000));
  EXPECT_EQ(SemaphoreCount(sem), 60);
  EXPECT_EQ(DrainData(sem), 60);
  EXPECT_TRUE(WaitData(sem, 1000));
}

TEST_F(Frames, ReplugRestartsTheCounterAndKeepsTheLastFrame) {
  HoldStream();
  std::vector<uint8_t> before(kFrame40K), after(kFrame40K);
  ASSERT_GE(QEL_GetFrame(before.data(), kFrame40K, nullptr), 0);

  unit().SetPlugged(false);
  ASSERT_TRUE(WaitFor([] { return !Connected(); }));
  EXPECT_EQ(QEL_GetFrame(after.data(), kFrame40K, nullptr), 1);
  EXPECT_EQ(before, after);

  unit().SetPlugged(true);
  ASSERT_TRUE(WaitFor(Connected));
  EXPECT_EQ(FrameIndex(), 0);
  std::fill(after.begin(), after.end(), 0);
  EXPECT_EQ(QEL_GetFrame(after.data(), kFrame40K, nullptr), 1);
  EXPECT_EQ(before, after);

  unit().SetStreamStalled(false);
  ASSERT_TRUE(WaitFor([] { return FrameIndex() > 0; }));
  unsigned int length = 0;
  EXPECT_EQ(QEL_GetFrame(after.data(), kFrame40K, &length), 0);
  EXPECT_TRUE(FrameLooksRight(after.data(), length));
}

TEST_F(Frames, BadFramesAreCountedButPassedOnUnchanged) {
  // The library never interprets frame contents: short frames and wrong markers arrive as sent.
  HoldStream();
  unit().SetShortFrames(true);
  unit().SetStreamStalled(false);
  int seen = FrameIndex();
  ASSERT_TRUE(WaitFor([&] { return FrameIndex() > seen + 1; }));
  unsigned int length = 0;
  QEL_GetFrame(nullptr, 0, &length);
  EXPECT_GT(length, 0u);
  EXPECT_LT(length, kFrame40K);

  unit().SetShortFrames(false);
  unit().SetWrongMarkers(true);
  seen = FrameIndex();
  ASSERT_TRUE(WaitFor([&] { return FrameIndex() > seen + 1; }));
  std::vector<uint8_t> frame(kFrame40K);
  QEL_GetFrame(frame.data(), kFrame40K, &length);
  EXPECT_EQ(length, kFrame40K);
  EXPECT_FALSE(FrameLooksRight(frame.data(), length));
}

TEST_F(Frames, StalledReadTimesOutAndIsReissued) {
  HoldStream();
  const uint64_t abortsBefore = unit().ReadsAborted();
  std::this_thread::sleep_for(std::chrono::milliseconds(3300));
  EXPECT_GE(unit().ReadsAborted(), abortsBefore + 1) << "the 3 s read time-out did not abort";
  EXPECT_TRUE(Connected());

  const int seen = FrameIndex();
  unit().SetStreamStalled(false);
  EXPECT_TRUE(WaitFor([&] { return FrameIndex() > seen; }));
}

TEST_F(Frames, EachStartHasItsOwnSemaphoreAndOldHandlesStayValid) {
  QEL_HANDLE first = Semaphore();
  QEL_Term();
  // A caller that still holds the handle of the previous start may wait on it safely; no new
  // signal arrives on it.
  DrainData(first);
  EXPECT_FALSE(WaitData(first, 10));
  ASSERT_EQ(QEL_Init(), 0);
  QEL_HANDLE second = Semaphore();
  EXPECT_NE(first, second);
  EXPECT_TRUE(WaitData(second, 1000));
}

TEST_F(Frames, TermDuringAStalledReadReturnsPromptlyAndReleasesTheRing) {
  HoldStream();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QEL_Term(), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  std::vector<uint8_t> frame(kFrame40K);
  EXPECT_EQ(QEL_GetFrame(frame.data(), kFrame40K, nullptr), -1);
  QEL_HANDLE handle = reinterpret_cast<QEL_HANDLE>(1);
  EXPECT_EQ(QEL_GetDataSemaphoHandle(&handle), 0);
  EXPECT_EQ(handle, nullptr);
}

}  // namespace
}  // namespace qeltest
