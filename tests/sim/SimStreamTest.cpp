// The simulated unit's frame stream and plug generations: sizes, markers, content, pacing, faults.
#include <algorithm>
#include <cstdlib>

#include "SimTestSupport.h"
#include "sim/SimScene.h"

namespace simtest {
namespace {

constexpr uint32_t k40KBytes = 163216;
constexpr uint32_t k160KBytes = 652864;

void ExpectMarkers(const std::vector<uint8_t>& frame) {
  ASSERT_GE(frame.size(), 8u);
  const size_t last = frame.size() / 4 - 1;
  EXPECT_EQ(Word(frame, 0, 0), 0xFF00);
  EXPECT_EQ(Word(frame, 0, 1), 0x0080);
  EXPECT_EQ(Word(frame, last, 0), 0xFF00);
  EXPECT_EQ(Word(frame, last, 1), 0x009D);
}

double MeanLuma(const std::vector<uint8_t>& frame, int n) {
  double sum = 0;
  for (int y = 2; y < n - 2; ++y) {
    for (int x = 2; x < n - 2; ++x) sum += Word(frame, static_cast<size_t>(y) * n + x, 1) >> 4;
  }
  return sum / ((n - 4.0) * (n - 4.0));
}

class SimStreamTest : public SimUnitTest {
 protected:
  void SetUp() override {
    SimUnitTest::SetUp();
    Unit().SetFrameRate(0);
  }
  // A frame that shows every parameter change made before the call.
  std::vector<uint8_t> FreshFrame() {
    const uint64_t renders = Unit().ScenesRendered();
    const auto end = std::chrono::steady_clock::now() + 5s;
    std::vector<uint8_t> frame;
    do {
      frame = ReadFrame();
    } while (Unit().ScenesRendered() == renders && std::chrono::steady_clock::now() < end);
    EXPECT_GT(Unit().ScenesRendered(), renders) << "the picture was not rendered again";
    return frame;
  }
};

TEST_F(SimStreamTest, FramesHaveTheHeadsSizeAndMarkers) {
  auto frame = ReadFrame();
  ASSERT_EQ(frame.size(), k40KBytes);
  ExpectMarkers(frame);
  // Colour samples sit in bits 15..4 of every word.
  for (size_t p = 1; p + 1 < frame.size() / 4; ++p) {
    ASSERT_EQ(Word(frame, p, 0) & 0xF, 0) << p;
    ASSERT_EQ(Word(frame, p, 1) & 0xF, 0) << p;
  }
  Unit().SetHead(1);
  frame = ReadFrame();
  ASSERT_EQ(frame.size(), k160KBytes);
  ExpectMarkers(frame);
  EXPECT_EQ(Unit().FramesSent(), 2u);
}

TEST_F(SimStreamTest, AShortBufferGetsTheFrameCutToIt) {
  std::vector<uint8_t> buffer(1000, 0xEE);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), 100));
  uint32_t got = 0;
  ASSERT_EQ(device->PollRead(got, 3000), usb::ReadState::Done);
  EXPECT_EQ(got, 100u);
  EXPECT_EQ(buffer[100], 0xEE);
  EXPECT_EQ(Word(buffer, 0, 0), 0xFF00);
}

TEST_F(SimStreamTest, ColourChromaIsCentredOnGreyAndTheSceneMoves) {
  auto a = ReadFrame();
  ASSERT_EQ(a.size(), k40KBytes);
  // The grey staircase band: chroma words near the 2048 offset.
  const size_t row = 202 * 75;
  int grey = 0;
  for (size_t x = 1; x < 201; ++x) {
    const int c = Word(a, row + x, 0) >> 4;
    grey += std::abs(c - 2048) < 200 ? 1 : 0;
  }
  EXPECT_GT(grey, 150);
  std::this_thread::sleep_for(300ms);
  auto b = ReadFrame();
  ASSERT_EQ(b.size(), k40KBytes);
  EXPECT_NE(a, b);
}

TEST_F(SimStreamTest, PictureFollowsGainAndBlackLevel) {
  const double base = MeanLuma(FreshFrame(), 202);
  ASSERT_TRUE(WriteReg(0x04, 32));  // x2 instead of x8
  const double darker = MeanLuma(FreshFrame(), 202);
  EXPECT_LT(darker, base * 0.5);
  ASSERT_TRUE(WriteReg(0x02, 200));  // black level lifts everything
  EXPECT_GT(MeanLuma(FreshFrame(), 202), darker + 300);
}

// Energy of the luma steps between vertical neighbours: softened edges spread a step over several
// smaller ones and have less of it, sharpened ones more. The scene scrolls along the rows, which
// only reorders the columns, so frames compare fairly.
double Detail(const std::vector<uint8_t>& frame, int n) {
  double sum = 0;
  for (int y = 2; y < n - 3; ++y) {
    for (int x = 2; x < n - 2; ++x) {
      const size_t p = static_cast<size_t>(y) * n + x;
      const double step = int(Word(frame, p + n, 1) >> 4) - int(Word(frame, p, 1) >> 4);
      sum += step * step;
    }
  }
  return sum;
}

TEST_F(SimStreamTest, NoiseReductionSoftensAndEdgeEnhancementSharpens) {
  const double plain = Detail(FreshFrame(), 202);
  ASSERT_TRUE(WriteReg(0x21, 0x0004));  // noise reduction 4
  const double soft = Detail(FreshFrame(), 202);
  ASSERT_TRUE(WriteReg(0x21, 0x0040));  // edge enhancement 4
  const double sharp = Detail(FreshFrame(), 202);
  EXPECT_LT(soft, plain * 0.8);
  EXPECT_GT(sharp, plain * 1.3);
}

TEST_F(SimStreamTest, PictureFollowsTheActiveBankGammaTablesAndExposure) {
  Unit().SetHead(1);
  const double base = MeanLuma(FreshFrame(), 404);
  ASSERT_TRUE(WriteReg(0x04, 16));  // bank 0: not the 160K head's
  EXPECT_NEAR(MeanLuma(FreshFrame(), 404), base, base * 0.1);
  ASSERT_TRUE(WriteReg(0x83, 100));  // a quarter of the exposure
  const double shorter = MeanLuma(FreshFrame(), 404);
  EXPECT_LT(shorter, base * 0.4);

  // Gamma curve 1 maps through table 0 (registers 0xC000..): a table of zeros blacks out.
  std::vector<uint8_t> zeros(64, 0);
  for (uint16_t reg = 0xC000; reg < 0xD000; reg += 32) ASSERT_TRUE(Out(0x19, 0, reg, zeros));
  ASSERT_TRUE(WriteReg(0x83, 400));
  ASSERT_TRUE(WriteReg(0xA0, 0x1001));
  EXPECT_LT(MeanLuma(FreshFrame(), 404), 2.0);
  ASSERT_TRUE(WriteReg(0xA0, 0x1002));  // curve 2 lifts the mid tones
  EXPECT_GT(MeanLuma(FreshFrame(), 404), base * 1.1);
}

TEST_F(SimStreamTest, RawFramesShowStuckPixelsUntilCorrected) {
  ASSERT_TRUE(Out(0x13, 0, 2, {0, 1, 0}));
  auto frame = FreshFrame();
  ASSERT_EQ(frame.size(), k40KBytes);
  ExpectMarkers(frame);
  const auto& stuck = sim::StuckPixels(0);
  ASSERT_FALSE(stuck.empty());
  for (const auto& px : stuck) {
    const uint8_t level = Word(frame, static_cast<size_t>(px.y) * 202 + px.x, 1) >> 8;
    EXPECT_EQ(level, px.bright ? 0xFF : 0x00) << px.x << "," << px.y;
  }
  const uint8_t centre = Word(frame, 101 * 202 + 101, 1) >> 8;
  EXPECT_GT(centre, 128);  // a defect search at the default threshold finds only defects
  EXPECT_LT(centre, 250);

  // Defect correction replaces the pixels listed in the tables.
  const auto& dark = *std::find_if(stuck.begin(), stuck.end(), [](auto& p) { return !p.bright; });
  ASSERT_TRUE(
      Out(0x19, 0, 0x100, {0, static_cast<uint8_t>(dark.x), 0, static_cast<uint8_t>(dark.y)}));
  ASSERT_TRUE(WriteReg(0x23, 1));
  frame = FreshFrame();
  EXPECT_GT(Word(frame, static_cast<size_t>(dark.y) * 202 + dark.x, 1) >> 8, 100);
}

TEST_F(SimStreamTest, FlipAndRotationMoveTheStuckPixelsOfTheColourPicture) {
  const auto& stuck = sim::StuckPixels(0);
  const auto bright = *std::find_if(stuck.begin(), stuck.end(), [](auto& p) { return p.bright; });
  auto lumaAt = [](const std::vector<uint8_t>& f, int x, int y) {
    return Word(f, static_cast<size_t>(y) * 202 + x, 1);
  };
  EXPECT_EQ(lumaAt(FreshFrame(), bright.x, bright.y), 0xFFF0);
  ASSERT_TRUE(WriteReg(0x20, 0x0010));  // H flip
  EXPECT_EQ(lumaAt(FreshFrame(), 201 - bright.x, bright.y), 0xFFF0);
  ASSERT_TRUE(WriteReg(0x20, 0x0100));  // 90 degrees clockwise
  // Interior (row r, column c) goes to (row c, column S-1-r) with S = 200 and a ring of 1.
  EXPECT_EQ(lumaAt(FreshFrame(), 1 + 199 - (bright.y - 1), 1 + (bright.x - 1)), 0xFFF0);
}

TEST_F(SimStreamTest, PacedFramesAreNeverEarly) {
  // Measured from before the first read: that frame is due no earlier than its submission, and
  // each later one a whole period after the one before, however late the reader is scheduled.
  Unit().SetFrameRate(200000);  // 200 fps: 5 ms apart
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 11; ++i) ASSERT_FALSE(ReadFrame().empty());
  EXPECT_GE(std::chrono::steady_clock::now() - start, 49ms);

  Unit().SetFrameRate(10000000);  // faster than the bus: a 40K frame takes 3.07 ms on it
  const auto fast = std::chrono::steady_clock::now();
  for (int i = 0; i < 11; ++i) ASSERT_FALSE(ReadFrame().empty());
  EXPECT_GE(std::chrono::steady_clock::now() - fast, 30ms);
}

TEST_F(SimStreamTest, PollWaitsAtMostItsTimeAndAbortEndsTheRead) {
  Unit().SetStreamStalled(true);
  std::vector<uint8_t> buffer(1 << 20);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), static_cast<uint32_t>(buffer.size())));
  EXPECT_FALSE(device->SubmitRead(buffer.data(), 10));  // one read at a time
  uint32_t got = 99;
  EXPECT_EQ(device->PollRead(got, 0), usb::ReadState::Pending);
  EXPECT_EQ(device->PollRead(got, 20), usb::ReadState::Pending);
  EXPECT_EQ(got, 0u);
  device->AbortRead();
  EXPECT_EQ(device->PollRead(got, 0), usb::ReadState::Failed);
  Unit().SetStreamStalled(false);
  EXPECT_EQ(ReadFrame().size(), k40KBytes);
}

TEST_F(SimStreamTest, NoHeadNoFramesUntilOneIsAttached) {
  Unit().SetHead(sim::Unit::kNoHead);
  std::vector<uint8_t> buffer(1 << 20);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), static_cast<uint32_t>(buffer.size())));
  uint32_t got = 0;
  EXPECT_EQ(device->PollRead(got, 30), usb::ReadState::Pending);
  std::thread attach([] {
    std::this_thread::sleep_for(20ms);
    sim::Unit::Instance().SetHead(1);
  });
  EXPECT_EQ(device->PollRead(got, 5000), usb::ReadState::Done);
  attach.join();
  EXPECT_EQ(got, k160KBytes);
}

TEST_F(SimStreamTest, UnplugFailsThePendingReadAndEveryTransferOfTheOldDevice) {
  Unit().SetStreamStalled(true);
  std::vector<uint8_t> buffer(1 << 20);
  ASSERT_TRUE(device->SubmitRead(buffer.data(), static_cast<uint32_t>(buffer.size())));
  ASSERT_TRUE(WriteReg(0x02, 77));
  std::thread pull([] {
    std::this_thread::sleep_for(20ms);
    sim::Unit::Instance().SetPlugged(false);
  });
  uint32_t got = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->PollRead(got, 10000), usb::ReadState::Failed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  pull.join();

  uint16_t v;
  EXPECT_FALSE(ReadReg(0x02, v));
  EXPECT_FALSE(device->SubmitRead(buffer.data(), 100));
  EXPECT_EQ(backend->CountPresent(), 0);
  std::unique_ptr<usb::Device> none;
  EXPECT_EQ(backend->Open(none), usb::OpenResult::NoDevice);
  EXPECT_FALSE(none);

  Unit().SetPlugged(true);
  Unit().SetStreamStalled(false);
  EXPECT_EQ(backend->CountPresent(), 1);
  EXPECT_FALSE(ReadReg(0x02, v));  // a re-plug needs a new open
  ASSERT_EQ(backend->Open(device), usb::OpenResult::Ok);
  EXPECT_EQ(Reg(0x02), 0);  // powered up afresh
  EXPECT_EQ(ReadFrame().size(), k40KBytes);
}

TEST_F(SimStreamTest, ShortFramesAndWrongMarkers) {
  Unit().SetShortFrames(true);
  EXPECT_EQ(ReadFrame().size(), k40KBytes / 2);
  Unit().SetShortFrames(false);
  Unit().SetWrongMarkers(true);
  auto frame = ReadFrame();
  ASSERT_EQ(frame.size(), k40KBytes);
  EXPECT_NE(Word(frame, 0, 0), 0xFF00);
  EXPECT_NE(Word(frame, frame.size() / 4 - 1, 1), 0x009D);
}

}  // namespace
}  // namespace simtest
