// Playback: decoding a 400 x 400 JPEG frame, decoding and showing it at 100 % and 200 %, and the
// drift of the shown frame against the file's clock while a 30 fps file plays for 30 seconds.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "bench/QtBenchMain.h"
#include "tests/playback/MediaFiles.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/Ids.h"
#include "viewer/base/Operator.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"
#include "viewer/playback/Player.h"
#include "viewer/playback/core/MediaFile.h"

namespace {

constexpr int kSide = 400;

// A camera-like picture: smooth shading with sensor noise, quality 80 like the recorder's.
testmedia::Bytes SceneJpeg(int frame, int subsampling) {
  std::mt19937 random{uint32_t(frame)};
  std::vector<uint8_t> rgb(size_t(kSide) * kSide * 3);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double shade = 0.5 + 0.5 * std::sin((x + 3 * frame) * 0.03) * std::cos(y * 0.02);
      const int noise = int(random() % 13) - 6;
      uint8_t* p = &rgb[(size_t(y) * kSide + size_t(x)) * 3];
      p[0] = uint8_t(std::clamp(int(200 * shade) + noise, 0, 255));
      p[1] = uint8_t(std::clamp(int(150 * shade + x / 8) + noise, 0, 255));
      p[2] = uint8_t(std::clamp(int(90 + y / 5) + noise, 0, 255));
    }
  }
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long length = 0;
  tjCompress2(tj, rgb.data(), kSide, 0, kSide, TJPF_RGB, &jpeg, &length, subsampling, 80, 0);
  testmedia::Bytes out(jpeg, jpeg + length);
  tjFree(jpeg);
  tjDestroy(tj);
  return out;
}

testmedia::Bytes SceneVideo(int frames, int subsampling) {
  testmedia::AviPlan plan;
  plan.width = kSide;
  plan.height = kSide;
  plan.segments.resize(1);
  for (int i = 0; i < frames; ++i) plan.segments[0].push_back(SceneJpeg(i, subsampling));
  return BuildAvi(plan);
}

// A page with the shared live controls only, outside the shell's page table.
class BenchPage : public picture::LivePage {
 public:
  explicit BenchPage(const live::DisplayBitmap& bitmap)
      : picture::LivePage(base::kNoPage, bitmap, nullptr) {}
  void Activate() override {}
  void FollowHeadType() override {}
};

class QuietOperator : public base::Operator {
 public:
  void Message(QWidget*, const QString&, const QString&, base::PromptIcon) override {}
  bool Ask(QWidget*, const QString&, const QString&, base::PromptIcon) override { return false; }
  QString OpenFile(const base::FileRequest&) override { return {}; }
  QString SaveFile(const base::FileRequest&) override { return {}; }
};

// Argument: TurboJPEG subsampling (0 4:4:4, 2 4:2:0).
void BM_DecodeFrame(benchmark::State& state) {
  const testmedia::Bytes file = SceneVideo(1, int(state.range(0)));
  auto media =
      playback::MediaFile::Open(std::make_unique<playback::MemorySource>(file.data(), file.size()));
  std::vector<uint8_t> pixels(size_t(kSide) * kSide * 4);
  for (auto _ : state) {
    if (!media->Decode(0, pixels.data(), kSide * 4)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["jpeg_bytes"] = double(file.size());
}
BENCHMARK(BM_DecodeFrame)->ArgName("subsampling")->Arg(2)->Arg(0)->Unit(benchmark::kMicrosecond);

// Decode, hand the picture to the view and paint it as the screen would. Argument: zoom factor.
void BM_DecodeAndShowFrame(benchmark::State& state) {
  const int zoom = int(state.range(0));
  const testmedia::Bytes file = SceneVideo(1, TJSAMP_420);
  auto media =
      playback::MediaFile::Open(std::make_unique<playback::MemorySource>(file.data(), file.size()));
  std::vector<uint8_t> pixels(size_t(kSide) * kSide * 4);
  playback::VideoView view(nullptr);
  view.resize(kSide * zoom, kSide * zoom);
  QImage screen(view.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    media->Decode(0, pixels.data(), kSide * 4);
    view.SetPicture(pixels.data(), kSide, kSide, kSide * 4);
    view.render(&screen);
    benchmark::DoNotOptimize(screen.constBits());
  }
}
BENCHMARK(BM_DecodeAndShowFrame)->ArgName("zoom")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

int64_t SteadyMicroseconds() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A 30 fps file of 900 frames played in real time, shown on an offscreen page. The stream's time
// starts with its first picture; the time to that picture is reported on its own.
void BM_PlaybackDrift(benchmark::State& state) {
  testmedia::TempDir dir;
  const std::string path = dir.File("drift.avi");
  testmedia::WriteFile(path, SceneVideo(900, TJSAMP_420));
  const playback::Timeline clock(30, 1, 900);

  QuietOperator op;
  base::ViewState view;
  base::Hooks hooks = base::DefaultHooks();
  live::LiveView liveView(view, hooks);
  picture::PageContext context(view, hooks, liveView);
  BenchPage page(liveView.displayBitmap);
  page.show();
  playback::Player player(op, context);
  player.Init(nullptr, &page);
  std::vector<std::pair<uint64_t, int64_t>> shown;
  shown.reserve(1000);
  player.frameShown = [&](uint64_t frame) { shown.emplace_back(frame, SteadyMicroseconds()); };
  int64_t started = 0;

  for (auto _ : state) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
      if (!player.Active()) loop.quit();
    });
    poll.start(20);
    started = SteadyMicroseconds();
    player.StartPlayback(QString::fromStdString(path), QStringLiteral("drift.avi"));
    loop.exec();
  }

  if (shown.empty()) {
    state.SkipWithError("nothing shown");
    return;
  }
  double worst = 0;
  double sum = 0;
  for (const auto& [frame, at] : shown) {
    const double drift = double(at - shown[0].second - clock.FrameStart(frame)) / 1000.0;
    worst = std::max(worst, std::abs(drift));
    sum += drift;
  }
  state.counters["frames_shown"] = double(shown.size());
  state.counters["frames_skipped"] = 900.0 - double(shown.size());
  state.counters["max_drift_ms"] = worst;
  state.counters["mean_drift_ms"] = sum / double(shown.size());
  state.counters["first_frame_ms"] = double(shown[0].second - started) / 1000.0;
  state.counters["max_drift_frames"] = worst / (1000.0 / 30);
}
BENCHMARK(BM_PlaybackDrift)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return RunQtBenchmarks(argc, argv);
}
