// The display thread on the simulated unit streaming at the USB 2.0 limit, with an offscreen
// image area repainting: displayed frames per USB frame, CPU time per displayed frame of the
// display thread and of the GUI thread that paints, and the share of one core the two take
// together (the whole viewer); the same while the recorder writes an AVI.
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "bench/QtBenchMain.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/ViewState.h"
#include "viewer/capture/VideoCapture.h"
#include "viewer/live/ImageArea.h"
#include "viewer/live/LiveView.h"
#include "viewer/live/RecorderFeed.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/LivePage.h"

namespace {

constexpr int kWarmUpMs = 1500;
constexpr int kMeasureMs = 4000;

// A page with the shared live controls only, as the display thread's target.
class BenchPage : public picture::LivePage {
 public:
  explicit BenchPage(const live::DisplayBitmap& bitmap)
      : picture::LivePage(base::kPicturePage, bitmap, nullptr) {}
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

// The simulated unit at the USB 2.0 limit and the display thread drawing onto an offscreen page,
// for the life of one benchmark run.
class LiveRun {
 public:
  LiveRun(int head, int zoom) {
    live::LiveView& shell = liveView;
    liveView.imageArea = [this](int p) { return p == base::kPicturePage ? page.Image() : nullptr; };
    liveView.frameRateText = [this](int p) {
      return p == base::kPicturePage ? page.FrameRateText() : nullptr;
    };
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
    // The recorder takes its frames through this sink, as the application registers it.
    shell.display.Sinks().Add(recorderFeed);
    page.show();
    view.displayTarget = base::kPicturePage;
    shell.display.Start();
    pthread_getcpuclockid(shell.display.NativeHandle(), &displayClock);
  }

  ~LiveRun() {
    live::LiveView& shell = liveView;
    shell.display.Stop();
    view.displayTarget = base::kNoPage;
    QEL_Term();
    shell.captureBitmap.Free();
    shell.displayBitmap.Destroy();
  }

  base::ViewState view;
  base::Hooks hooks = base::DefaultHooks();
  live::LiveView liveView{view, hooks};
  live::RecorderFeed recorderFeed{liveView.captureBitmap};
  BenchPage page{liveView.displayBitmap};
  clockid_t displayClock{};
};

// Arguments: head type (0 40K, 1 160K) and zoom index.
void BM_DisplayThread(benchmark::State& state) {
  LiveRun live(int(state.range(0)), int(state.range(1)));
  live::LiveView& shell = live.liveView;
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
    const double display0 = ThreadCpuSeconds(live.displayClock);
    const double gui0 = ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    const int repaints0 = live.page.Image()->Repaints();
    QElapsedTimer timer;
    timer.start();
    Serve(kMeasureMs);
    seconds += double(timer.nsecsElapsed()) * 1e-9;
    usb += Counter() - counter0;
    displayed += double(shell.display.FramesDisplayed() - frames0);
    displayCpu += ThreadCpuSeconds(live.displayClock) - display0;
    guiCpu += ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID) - gui0;
    repaints += live.page.Image()->Repaints() - repaints0;
  }

  state.counters["usb_fps"] = usb / seconds;
  state.counters["disp_fps"] = displayed / seconds;
  state.counters["disp_per_usb"] = usb > 0 ? displayed / usb : 0;
  state.counters["display_cpu_us_per_frame"] = displayed > 0 ? displayCpu / displayed * 1e6 : 0;
  state.counters["gui_cpu_us_per_frame"] = displayed > 0 ? guiCpu / displayed * 1e6 : 0;
  state.counters["repaints_per_s"] = double(repaints) / seconds;
  state.counters["viewer_core_share"] = (displayCpu + guiCpu) / seconds;
}

BENCHMARK(BM_DisplayThread)
    ->ArgNames({"head", "zoom"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Recording while viewing at the USB 2.0 limit (arguments: head type and zoom index, boundary
// hidden): frames written per frame displayed, the recorder's processor time per written frame
// and the share of one core it takes (a recorder that polled for frames would take a whole core),
// and the share the display and GUI threads take meanwhile.
void BM_RecordWhileViewing(benchmark::State& state) {
  const int head = int(state.range(0));
  LiveRun live(head, int(state.range(1)));
  live::LiveView& shell = live.liveView;
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("record_bench-" + std::to_string(getpid()) + ".avi"))
                               .string();
  capture::Recorder recorder;
  if (recorder.Open(path, live::CaptureSide(head, false), {}, shell.captureBitmap) != 0) {
    state.SkipWithError("cannot create the AVI file");
    return;
  }
  shell.captureBitmap.Resume();
  recorder.Start();
  clockid_t recorderClock{};
  pthread_getcpuclockid(recorder.NativeHandle(), &recorderClock);
  Serve(kWarmUpMs);

  double displayed = 0;
  double written = 0;
  double recorderCpu = 0;
  double viewerCpu = 0;
  double seconds = 0;
  for (auto _ : state) {
    const uint64_t displayed0 = shell.display.FramesDisplayed();
    const int written0 = recorder.FramesWritten();
    const double cpu0 = ThreadCpuSeconds(recorderClock);
    const double viewer0 =
        ThreadCpuSeconds(live.displayClock) + ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QElapsedTimer timer;
    timer.start();
    Serve(kMeasureMs);
    seconds += double(timer.nsecsElapsed()) * 1e-9;
    displayed += double(shell.display.FramesDisplayed() - displayed0);
    written += recorder.FramesWritten() - written0;
    recorderCpu += ThreadCpuSeconds(recorderClock) - cpu0;
    viewerCpu +=
        ThreadCpuSeconds(live.displayClock) + ThreadCpuSeconds(CLOCK_THREAD_CPUTIME_ID) - viewer0;
  }
  shell.captureBitmap.Interrupt();
  recorder.Stop();
  std::filesystem::remove(path);

  state.counters["disp_fps"] = displayed / seconds;
  state.counters["written_fps"] = written / seconds;
  state.counters["written_per_displayed"] = displayed > 0 ? written / displayed : 0;
  state.counters["recorder_cpu_us_per_frame"] = written > 0 ? recorderCpu / written * 1e6 : 0;
  state.counters["recorder_core_share"] = recorderCpu / seconds;
  state.counters["viewer_core_share"] = viewerCpu / seconds;
}

BENCHMARK(BM_RecordWhileViewing)
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
