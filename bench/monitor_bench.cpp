// One monitor cycle of the page refreshes (Camera Info refresh, then change refresh) on the
// simulated unit with a formatted head: control transfers per cycle, page operations and batches
// handed to the GUI per cycle, and the time those batches take on a view that does nothing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "sim/SimUnit.h"
#include "viewer/picture/PageRefresh.h"

namespace {

using Clock = std::chrono::steady_clock;

class CountingView : public picture::PageView {
 public:
  int calls = 0;
  void SetSlider(int, int) override { ++calls; }
  void SelectListFromDevice(int, int) override { ++calls; }
  void SetForcedListRefresh(bool) override { ++calls; }
  void EnablingUpdate() override { ++calls; }
  void SetCameraInfo(int, const std::string&) override { ++calls; }
  void SetCameraInfoRowsEnabled(bool) override { ++calls; }
  void SetWindowTitle(const std::string&) override { ++calls; }
  void SetSerialControlsEnabled(bool) override { ++calls; }
  void SetCisEepromControlsEnabled(bool) override { ++calls; }
  void ApplyApplicationDefaults() override { ++calls; }
  void ResetCalibrationDefaults(bool) override { ++calls; }
};

bool Connect() {
  sim::Unit::Instance().Reset();
  QELSIM_Enable(1);
  QEL_Init();
  const auto deadline = Clock::now() + std::chrono::seconds(3);
  int status = 0;
  while (Clock::now() < deadline) {
    if (QEL_GetStatus(&status) == 0 && status == 1) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

// Argument: 1 AGC running after a scene whose brightness keeps changing (the AGC target swings
// between two levels between cycles), cycles 100 ms apart as the monitor runs them; 0 a unit left
// alone, cycles back to back.
void BM_MonitorCycle(benchmark::State& state) {
  const bool automatic = state.range(0) != 0;
  if (!Connect()) {
    state.SkipWithError("the simulated unit did not connect");
    return;
  }
  sim::Unit& unit = sim::Unit::Instance();
  if (automatic) QEL_Set_ControlMode(0, 1);  // AGC on a 40K head
  CountingView view;
  std::atomic<int> cisType{0};
  Clock::duration delivering{};
  int batches = 0;
  picture::PageRefresh refresh([&view] { return &view; },
                               [&](std::function<void()> batch) {
                                 const auto start = Clock::now();
                                 batch();
                                 delivering += Clock::now() - start;
                                 ++batches;
                               },
                               cisType);
  // The first cycle writes every text and runs the full refresh of a newly seen head.
  refresh.CameraInfoRefresh();
  refresh.ChangeRefresh();
  view.calls = 0;
  delivering = {};
  batches = 0;
  unit.SetLogging(true);
  unit.ClearLog();
  size_t transfers = 0;
  int swing = 0;

  for (auto _ : state) {
    refresh.CameraInfoRefresh();
    refresh.ChangeRefresh();
    state.PauseTiming();
    transfers += unit.Log().size();
    if (automatic) {
      QEL_Set_AGC_AEC_Target(++swing % 2 != 0 ? 800 : 2400);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    unit.ClearLog();
    state.ResumeTiming();
  }

  const auto cycles = static_cast<double>(state.iterations());
  state.counters["transfers"] = static_cast<double>(transfers) / cycles;
  state.counters["page_calls"] = view.calls / cycles;
  state.counters["batches"] = batches / cycles;
  state.counters["deliver_us"] =
      std::chrono::duration<double, std::micro>(delivering).count() / cycles;
  unit.SetLogging(false);
  QEL_Term();
}
BENCHMARK(BM_MonitorCycle)->Arg(1)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonitorCycle)->Arg(0)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
