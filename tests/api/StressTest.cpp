// Unplugging and re-plugging at random moments while a reader consumes the stream.
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "FrameHelpers.h"
#include "SimFixture.h"

namespace qeltest {
namespace {

class Stress : public SimFixture {};

TEST_F(Stress, TwoHundredReplugsWhileReading) {
  QELSIM_SetFrameRate(0);
  QEL_HANDLE sem = nullptr;
  ASSERT_EQ(QEL_GetDataSemaphoHandle(&sem), 0);

  std::atomic<bool> stop{false};
  std::atomic<int> copied{0};
  std::atomic<int> broken{0};
  std::thread reader([&] {
    std::vector<uint8_t> frame(kFrame160K);
    DrainData(sem);
    int last = -1;
    while (!stop.load()) {
      if (!WaitData(sem, 1000)) continue;
      DrainData(sem);
      const int index = FrameIndex();
      if (index == last) continue;
      last = index;
      unsigned int length = 0;
      if (QEL_GetFrame(frame.data(), kFrame160K, &length) < 0) continue;
      copied.fetch_add(1);
      if (!FrameLooksRight(frame.data(), length) || !FrameIsWhole(frame.data(), length)) {
        broken.fetch_add(1);
      }
    }
  });

  std::mt19937 random(20261207);
  std::uniform_int_distribution<int> pause(0, 30);
  int reconnected = 0;
  for (int cycle = 0; cycle < 200; ++cycle) {
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    unit().SetPlugged(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
    unit().SetPlugged(true);
    // Old handles died with the unplug, so a frame sent from now on proves a fresh open.
    const uint64_t sent = unit().FramesSent();
    const bool ok = WaitFor([&] { return Connected() && unit().FramesSent() > sent + 1; }, 3000);
    if (!ok) ADD_FAILURE() << "no reconnection in cycle " << cycle;
    reconnected += ok;
    if (!ok) break;
  }
  stop.store(true);
  reader.join();

  EXPECT_EQ(reconnected, 200);
  EXPECT_GT(copied.load(), 200);
  EXPECT_EQ(broken.load(), 0);
}

}  // namespace
}  // namespace qeltest
