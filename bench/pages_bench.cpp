// The whole viewer on the simulated unit at the USB 2.0 limit while automatic gain control moves
// parameters and the pages follow them: frames displayed per frame delivered, monitor cycles per
// second and the GUI thread's share of a core.
#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <ctime>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "bench/QtBenchMain.h"
#include "viewer/base/Operator.h"
#include "viewer/shell/Application.h"

namespace {

constexpr int kWarmUpMs = 1500;
constexpr int kMeasureMs = 4000;

// Nobody answers prompts in a benchmark; none is expected.
class SilentOperator : public base::Operator {
 public:
  void Message(QWidget*, const QString&, const QString&, base::PromptIcon) override {}
  bool Ask(QWidget*, const QString&, const QString&, base::PromptIcon) override { return false; }
  QString OpenFile(const base::FileRequest&) override { return {}; }
  QString SaveFile(const base::FileRequest&) override { return {}; }
};

double GuiCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int Counter() {
  int counter = 0;
  QEL_GetIndex(&counter);
  return counter;
}

// Argument: head type (0 40K, 1 160K).
void BM_PagesFollowAgc(benchmark::State& state) {
  const int head = int(state.range(0));
  SilentOperator op;
  shell::Application app(op);
  shell::Options options;
  options.simulate = true;
  options.simulatedHead = head;
  app.StartUp(options);
  QELSIM_SetFrameRate(0);
  // Gain (and on a 160K head exposure) under automatic control, chasing a target that moves
  // every 50 ms, so the unit reports changed parameters all the time.
  QEL_Set_ControlMode(0, 3);
  int swing = 0;
  QTimer target;
  QObject::connect(&target, &QTimer::timeout,
                   [&swing] { QEL_Set_AGC_AEC_Target((++swing % 2) ? 3600 : 800); });
  target.start(50);
  QEventLoop warm;
  QTimer::singleShot(kWarmUpMs, &warm, &QEventLoop::quit);
  warm.exec();

  for (auto _ : state) {
    const int counter0 = Counter();
    const uint64_t displayed0 = app.Live().display.FramesDisplayed();
    const uint64_t cycles0 = app.Monitor().Cycles();
    const double gui0 = GuiCpuSeconds();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(kMeasureMs, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = double(timer.nsecsElapsed()) * 1e-9;
    const double usb = Counter() - counter0;
    const double displayed = double(app.Live().display.FramesDisplayed() - displayed0);
    const double cycles = double(app.Monitor().Cycles() - cycles0);
    state.counters["usb_fps"] = usb / seconds;
    state.counters["disp_per_usb"] = usb > 0 ? displayed / usb : 0;
    state.counters["monitor_cycles_per_s"] = cycles / seconds;
    // Painting the live picture included: the share of one core the GUI thread used.
    state.counters["gui_core_share"] = (GuiCpuSeconds() - gui0) / seconds;
  }
  target.stop();
  app.ShutDown();
}

BENCHMARK(BM_PagesFollowAgc)
    ->ArgName("head")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return RunQtBenchmarks(argc, argv);
}
