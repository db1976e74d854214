// The display thread on the simulated unit streaming at the USB 2.0 limit, with an offscreen
// image area repainting: displayed frames per USB frame, and CPU time per displayed frame of the
// display thread and of the GUI thread that paints.
#include <benchmark/benchmark.h>
#include <pthread.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <ctime>
#include <mutex>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "bench/QtBenchMain.h"
#include "viewer/live/ImageArea.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"

namespace {

constexpr int kWarmUpMs = 1500;
constexpr int kMeasureMs = 4000;

// A page with the shared live controls only, as the display thread's target.
class BenchPage : public shell::LivePage {
 public:
  BenchPage() : shell::LivePage(shell::kPicturePage, nullptr) {}
  void Activate() override {}
  void FollowHeadType() override {}
};

double ThreadCpuSeconds(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs the GUI event loop for a while, sleeping whenever it has nothing to do.
void Serve(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

int Counter() {
  int counter = 0;
  QEL_GetIndex(&counter);
  return counter;
}

// Arguments: head type (0 40K, 1 160K) and zoom index.
void BM_DisplayThread(benchmark::State& state) {
  const int head = int(state.range(0));
  const int zoom = int(state.range(1));
  shell::Shell& shell = shell::TheShell();
  shell::ViewState& view = shell::View();
  shell::ResetViewState();

  QELSIM_Enable(1);
  QELSIM_SetPlugged(1);
  QELSIM_SetHead(head);
  QELSIM_SetFrameRate(0);
  QEL_Init();
  {
    std::lock_guard<std::mutex> lock(view.viewGuard);
    view.cisType = head;
    view.zoomIndex = zoom;
  }
  shell.displayBitmap.Create();
  shell.captureBitmap.Allocate();
  BenchPage page;
  page.show();
  view.displayTarget = shell::kPicturePage;
  shell.display.Start();

  clockid_t displayClock{};
  pthread_getcpuclockid(shell.display.NativeHandle(), &displayClock);
  Serve(kWarmUpMs);

  double usb = 0;
  double displayed = 0;
  double displayCpu = 0;
  double guiCpu = 0;
  double seconds = 0;
  int repaints = 0;
  for (auto _ : state) {
    const int counter0 = Counter();
    const uint64_t frames0 = shell.display.FramesDisplayed();
    const double display0 = ThreadCpuSeconds(displayClock);
    const double gui0 = ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const int repaints0 = page.Image()->Repaints();
    QElapsedTimer timer;
    timer.start();
    Serve(kMeasureMs);
    seconds += double(timer.nsecsElapsed()) * 1e-9;
    usb += Counter() - counter0;
    displayed += double(shell.display.FramesDisplayed() - frames0);
    displayCpu += ThreadCpuSeconds(displayClock) - display0;
    guiCpu += ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID) - gui0;
    repaints += page.Image()->Repaints() - repaints0;
  }

  shell.display.Stop();
  view.displayTarget = shell::kNoPage;
  QEL_Term();
  shell.captureBitmap.Free();
  shell.displayBitmap.Destroy();

  state.counters["usb_fps"] = usb / seconds;
  state.counters["disp_fps"] = displayed / seconds;
  state.counters["disp_per_usb"] = usb > 0 ? displayed / usb : 0;
  state.counters["display_cpu_us_per_frame"] = displayed > 0 ? displayCpu / displayed * 1e6 : 0;
  state.counters["gui_cpu_us_per_frame"] = displayed > 0 ? guiCpu / displayed * 1e6 : 0;
  state.counters["repaints_per_s"] = double(repaints) / seconds;
}

BENCHMARK(BM_DisplayThread)
    ->ArgNames({"head", "zoom"})
    ->Args({0, 0})
    ->Args({0, 2})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return RunQtBenchmarks(argc, argv);
}
