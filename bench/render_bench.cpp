// Frame kernel throughput, each next to a memcpy of the bytes the kernel writes.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace {

std::vector<uint8_t> RandomFrame(int cisType) {
  std::vector<uint8_t> frame(live::FrameBytes(cisType));
  std::mt19937 rng(7);
  for (auto& byte : frame) byte = uint8_t(rng());
  return frame;
}

// Processor time, so that other work on a shared machine disturbs the ratios less.
double CpuSeconds() {
  return double(std::clock()) / CLOCKS_PER_SEC;
}

// Mean processor time of one memcpy of `bytes` between warm buffers, over about 50 ms.
double MemcpySeconds(size_t bytes) {
  std::vector<uint8_t> src(bytes, 1), dst(bytes, 0);
  std::memcpy(dst.data(), src.data(), bytes);
  long count = 0;
  const double start = CpuSeconds();
  double now = start;
  do {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
    ++count;
    now = CpuSeconds();
  } while (now - start < 0.05);
  return (now - start) / double(count);
}

// Runs `kernel` in the timed loop and reports bytes written and the ratio to memcpy.
template <class Kernel>
void Measure(benchmark::State& state, size_t outputBytes, Kernel kernel) {
  const double memcpySeconds = MemcpySeconds(outputBytes);
  const double start = CpuSeconds();
  for (auto _ : state) {
    kernel();
    benchmark::ClobberMemory();
  }
  const double seconds = CpuSeconds() - start;
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(outputBytes));
  state.counters["memcpy_us"] = memcpySeconds * 1e6;
  state.counters["x_memcpy"] = seconds / double(state.iterations()) / memcpySeconds;
}

void BM_RenderColour(benchmark::State& state) {
  const int cisType = int(state.range(0));
  const int zoom = int(state.range(1));
  const auto frame = RandomFrame(cisType);
  std::vector<uint8_t> display(live::kDisplayBytes);
  Measure(state, display.size(),
          [&] { live::RenderColour(frame.data(), cisType, zoom, display.data()); });
}

void BM_RenderMono(benchmark::State& state) {
  const int cisType = int(state.range(0));
  const int zoom = int(state.range(1));
  const auto frame = RandomFrame(cisType);
  std::vector<uint8_t> display(live::kDisplayBytes);
  Measure(state, display.size(),
          [&] { live::RenderMono(frame.data(), cisType, zoom, display.data()); });
}

void BM_ConvertColour(benchmark::State& state) {
  const int cisType = int(state.range(0));
  const bool shown = state.range(1) != 0;
  const auto frame = RandomFrame(cisType);
  std::vector<uint8_t> dest(live::CaptureBytes(cisType, shown));
  Measure(state, dest.size(),
          [&] { live::ConvertColour(dest.data(), frame.data(), cisType, shown); });
}

void BM_ConvertMono(benchmark::State& state) {
  const int cisType = int(state.range(0));
  const bool shown = state.range(1) != 0;
  const auto frame = RandomFrame(cisType);
  std::vector<uint8_t> dest(live::CaptureBytes(cisType, shown));
  Measure(state, dest.size(),
          [&] { live::ConvertMono(dest.data(), frame.data(), cisType, shown); });
}

// Plain memcpy of the display bitmap and of each capture bitmap size, for the same table.
void BM_Memcpy(benchmark::State& state) {
  const auto bytes = size_t(state.range(0));
  std::vector<uint8_t> src(bytes, 1), dst(bytes, 0);
  for (auto _ : state) {
    std::memcpy(dst.data(), src.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// (cisType, zoom factor) as the views offer them, and (cisType, boundary shown).
#define QEL_RENDER_ARGS \
  ArgNames({"cis", "zoom"})->Args({0, 1})->Args({0, 2})->Args({0, 4})->Args({1, 1})->Args({1, 2})
#define QEL_CONVERT_ARGS \
  ArgNames({"cis", "shown"})->Args({0, 0})->Args({0, 1})->Args({1, 0})->Args({1, 1})

BENCHMARK(BM_RenderColour)->QEL_RENDER_ARGS;
BENCHMARK(BM_RenderMono)->QEL_RENDER_ARGS;
BENCHMARK(BM_ConvertColour)->QEL_CONVERT_ARGS;
BENCHMARK(BM_ConvertMono)->QEL_CONVERT_ARGS;
BENCHMARK(BM_Memcpy)
    ->ArgName("bytes")
    ->Arg(int64_t(live::kDisplayBytes))
    ->Arg(int64_t(live::CaptureBytes(0, false)))
    ->Arg(int64_t(live::CaptureBytes(0, true)))
    ->Arg(int64_t(live::CaptureBytes(1, false)))
    ->Arg(int64_t(live::CaptureBytes(1, true)));

}  // namespace

BENCHMARK_MAIN();
