// Rules of the live view apart from widgets: frame-rate counting, the semaphore wait, the capture
// hand-off and the command line.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QScreen>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "viewer/base/GuiCall.h"
#include "viewer/live/ImageArea.h"
#include "viewer/live/core/CaptureHandOff.h"
#include "viewer/live/core/DisplayBitmap.h"
#include "viewer/live/core/FrameRate.h"
#include "viewer/live/core/SemaphoreWait.h"
#include "viewer/shell/Application.h"

#ifndef _WIN32
#include <semaphore.h>
#endif

namespace {

TEST(UsbRate, CountsTheFramesOfEachPeriod) {
  live::UsbRateCounter rate;
  rate.Start(1000);
  for (int c = 1001; c <= 1030; ++c) rate.Observe(c);
  EXPECT_EQ(rate.EndPeriod(1030, 30), 30u);
  EXPECT_EQ(rate.EndPeriod(1060, 29), 30u);
}

TEST(UsbRate, AFastStreamIsShownAsItIs) {
  // 40K at the USB 2.0 limit: about 326 frames a second, with fewer displayed.
  live::UsbRateCounter rate;
  rate.Start(0);
  EXPECT_EQ(rate.EndPeriod(326, 310), 326u);
}

TEST(UsbRate, ARestartedCounterShowsTheDisplayedCount) {
  live::UsbRateCounter rate;
  rate.Start(5000);
  EXPECT_EQ(rate.EndPeriod(12, 9), 9u);
  // The next period counts normally from the restarted value.
  EXPECT_EQ(rate.EndPeriod(42, 30), 30u);
  // A restart seen during the period counts even when the counter has passed the old base.
  rate.Start(20);
  rate.Observe(25);
  rate.Observe(0);
  EXPECT_EQ(rate.EndPeriod(28, 27), 27u);
}

TEST(UsbRate, StatusText) {
  EXPECT_EQ(live::FrameRateText(30, 31), "fps DISP:30 / USB:31");
}

#ifndef _WIN32
TEST(DataSemaphore, WaitTakesOneSignalAndDrainTakesTheBacklog) {
  sem_t sem;
  ASSERT_EQ(sem_init(&sem, 0, 0), 0);
  EXPECT_FALSE(live::WaitDataSemaphore(&sem, 0));
  EXPECT_FALSE(live::WaitDataSemaphore(&sem, 20));  // times out
  for (int i = 0; i < 3; ++i) sem_post(&sem);
  EXPECT_TRUE(live::WaitDataSemaphore(&sem, 1000));
  live::DrainDataSemaphore(&sem);
  int left = -1;
  sem_getvalue(&sem, &left);
  EXPECT_EQ(left, 0);
  // A signal from another thread ends a waiting call.
  std::thread poster([&] { sem_post(&sem); });
  EXPECT_TRUE(live::WaitDataSemaphore(&sem, 5000));
  poster.join();
  sem_destroy(&sem);
}
#endif

TEST(DataSemaphore, ANullHandleNeverSucceeds) {
  EXPECT_FALSE(live::WaitDataSemaphore(nullptr, 0));
  EXPECT_FALSE(live::WaitDataSemaphore(nullptr, 5));
  live::DrainDataSemaphore(nullptr);
}

TEST(CaptureHandOff, TheRecorderNeverSeesAFrameBeingWritten) {
  live::CaptureHandOff capture;
  ASSERT_TRUE(capture.Allocate());
  uint32_t seen = 0;
  int side = 0;
  capture.Resume();
  EXPECT_EQ(capture.Claim(seen, side), nullptr);  // nothing new yet

  EXPECT_TRUE(capture.Offer(202, [](uint8_t* bitmap) { std::memset(bitmap, 1, 16); }));
  const uint8_t* held = capture.Claim(seen, side);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(seen, 1u);
  EXPECT_EQ(side, 202);
  // While held, the display thread leaves the bitmap and the sequence alone.
  EXPECT_FALSE(capture.Offer(200, [](uint8_t* bitmap) { std::memset(bitmap, 2, 16); }));
  EXPECT_EQ(held[0], 1);
  EXPECT_EQ(capture.FrameSequence(), 1u);
  capture.Release();
  EXPECT_EQ(capture.Claim(seen, side), nullptr);  // the same frame is not taken twice

  // Concurrently: every claimed bitmap holds one frame's bytes throughout.
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread writer([&] {
    for (uint8_t v = 0; !stop.load(); ++v) {
      capture.Offer(404,
                    [v](uint8_t* bitmap) { std::memset(bitmap, v, live::kCaptureBitmapBytes); });
    }
  });
  for (int i = 0; i < 200; ++i) {
    if (const uint8_t* bitmap = capture.Claim(seen, side)) {
      if (std::memcmp(bitmap, bitmap + 1, live::kCaptureBitmapBytes - 1) != 0) ++torn;
      capture.Release();
    }
    std::this_thread::yield();
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn.load(), 0);
}

TEST(CaptureHandOff, AWaitingRecorderWakesForAFrameAndForAnInterrupt) {
  using std::chrono::milliseconds;
  live::CaptureHandOff capture;
  ASSERT_TRUE(capture.Allocate());
  capture.Resume();
  uint32_t seen = capture.FrameSequence();
  int side = 0;
  // Long waits that must end early: a test that hangs here has lost a wake-up.
  std::thread display([&] {
    std::this_thread::sleep_for(milliseconds(20));
    capture.Offer(200, [](uint8_t* bitmap) { bitmap[0] = 7; });
  });
  const auto before = std::chrono::steady_clock::now();
  const uint8_t* held = capture.Claim(seen, side, milliseconds(60000));
  display.join();
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held[0], 7);
  EXPECT_EQ(side, 200);
  capture.Release();
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));

  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(20));
    capture.Interrupt();
  });
  EXPECT_EQ(capture.Claim(seen, side, milliseconds(60000)), nullptr);
  stopper.join();
  // Interrupted, no frame is converted or taken; after Resume the next one is.
  EXPECT_FALSE(capture.Offer(200, [](uint8_t*) { FAIL(); }));
  EXPECT_TRUE(capture.Interrupted());
  EXPECT_EQ(capture.Claim(seen, side), nullptr);
  capture.Resume();
  EXPECT_TRUE(capture.Offer(200, [](uint8_t*) {}));
  EXPECT_NE(capture.Claim(seen, side), nullptr);
  capture.Release();
}

// Requests faster than the screen refreshes: repainted, but once per refresh at most.
TEST(ImageArea, RepaintsNoFasterThanTheScreenRefreshes) {
  const live::DisplayBitmap bitmap;
  live::ImageArea area(nullptr, bitmap);
  area.show();
  const int period = live::RefreshPeriodMs(area.screen()->refreshRate());
  const int before = area.Repaints();
  QElapsedTimer elapsed;
  for (elapsed.start(); elapsed.elapsed() < 20 * period; QCoreApplication::processEvents()) {
    area.RepaintAtRefresh([] { return 808; });
  }
  EXPECT_GE(area.Repaints() - before, 2);
  EXPECT_LE(area.Repaints() - before, elapsed.elapsed() / period + 2);
}

TEST(CaptureHandOff, WithoutTheBitmapNothingIsWrittenOrClaimed) {
  live::CaptureHandOff capture;
  capture.Resume();
  uint32_t seen = 0;
  int side = 0;
  EXPECT_FALSE(capture.Offer(200, [](uint8_t*) { FAIL(); }));
  EXPECT_EQ(capture.Claim(seen, side), nullptr);
}

TEST(CommandLine, SimulateScreenshotAndMistakes) {
  shell::Options o =
      shell::ParseOptions({"QEL_Viewer", "--simulate=160K", "--screenshot", "a.png"});
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.simulatedHead, 1);
  EXPECT_EQ(o.screenshot, "a.png");
  EXPECT_TRUE(o.error.isEmpty());
  o = shell::ParseOptions({"QEL_Viewer", "--simulate"});
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.simulatedHead, 0);
  EXPECT_TRUE(o.screenshot.isEmpty());
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--screenshot"}).error.isEmpty());
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--simulate=80k"}).error.isEmpty());
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--frobnicate"}).error.isEmpty());
  o = shell::ParseOptions({"QEL_Viewer", "--simulate-state=unit.state", "--simulate=160k"});
  EXPECT_TRUE(o.simulate);
  EXPECT_EQ(o.simulatedHead, 1);
  EXPECT_EQ(o.simulateState, "unit.state");
  EXPECT_TRUE(o.error.isEmpty());
  EXPECT_TRUE(shell::ParseOptions({"QEL_Viewer", "--simulate-state", "s"}).simulate);
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--simulate-state"}).error.isEmpty());
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--screenshot="}).error.isEmpty());
}

}  // namespace

namespace {

// A job that waits in a nested event loop (a message box, a stop that waits for a worker) must
// still let a worker's call through, or the worker and the operator wait for each other.
TEST(GuiQueue, AWorkersCallRunsWhileAJobWaitsInANestedLoop) {
  base::InstallGuiQueue();
  std::atomic<bool> served{false};
  std::atomic<bool> servedInside{false};
  std::atomic<bool> nestedDone{false};
  std::thread worker;
  base::PostToGui([&] {
    worker = std::thread([&] { base::SendToGui([&] { served = true; }); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    base::ServeWhile([&] { return !served.load() && std::chrono::steady_clock::now() < deadline; });
    servedInside = served.load();
    nestedDone = true;
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return nestedDone.load(); }, 10000));
  EXPECT_TRUE(servedInside.load()) << "the worker's call waited for the nested loop to end";
  worker.join();
}

}  // namespace
