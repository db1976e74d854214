// JPEG encoding of capture bitmaps at quality 80 on one core, as the recorder encodes them:
// frames per second for pictures of the simulated unit's scene, 200 x 200 and 400 x 400 (and
// with the boundary ring), and the size of a frame.
#include <benchmark/benchmark.h>

#include <chrono>
#include <thread>
#include <vector>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "viewer/capture/core/ImageEncoding.h"
#include "viewer/live/core/image/Render.h"

namespace {

// A checked frame of the simulated unit with the given head, converted as the display thread
// converts it for the recorder. Empty when no frame came.
std::vector<uint8_t> SceneBitmap(int head, bool boundary) {
  QELSIM_Enable(1);
  QELSIM_SetPlugged(1);
  QELSIM_SetHead(head);
  QELSIM_SetFrameRate(30000);
  QEL_Init();
  std::vector<uint8_t> frame(live::FrameBytes(head));
  std::vector<uint8_t> bitmap;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int last = -1;
  while (bitmap.empty() && std::chrono::steady_clock::now() < deadline) {
    int index = 0;
    QEL_GetIndex(&index);
    if (index == last) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      continue;
    }
    last = index;
    unsigned int length = 0;
    QEL_GetFrame(frame.data(), unsigned(frame.size()), &length);
    if (live::CheckFrame(frame.data(), length, head) != 0) continue;
    bitmap.assign(live::CaptureBytes(head, boundary), 0);
    live::ConvertColour(bitmap.data(), frame.data(), head, boundary);
  }
  QEL_Term();
  return bitmap;
}

// Arguments: head type, boundary ring shown.
void BM_JpegQuality80(benchmark::State& state) {
  const int head = int(state.range(0));
  const bool boundary = state.range(1) != 0;
  const int side = live::CaptureSide(head, boundary);
  const std::vector<uint8_t> bitmap = SceneBitmap(head, boundary);
  if (bitmap.empty()) {
    state.SkipWithError("no frame from the simulated unit");
    return;
  }
  capture::JpegEncoder encoder;
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = encoder.Encode(bitmap.data(), side);
    benchmark::DoNotOptimize(bytes);
  }
  state.SetLabel(std::to_string(side) + "x" + std::to_string(side));
  state.SetItemsProcessed(int64_t(state.iterations()));
  state.counters["fps"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["jpeg_bytes"] = double(bytes);
}

BENCHMARK(BM_JpegQuality80)
    ->ArgNames({"head", "boundary"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
