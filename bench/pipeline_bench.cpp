// Frame pipeline on the simulated unit paced at the USB 2.0 limit: delivered rate against the
// pacing rate, frames the consumer missed, and process CPU time per frame.
#include <benchmark/benchmark.h>
#include <semaphore.h>
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "QEL_API.h"
#include "QEL_Sim.h"
#include "sim/SimUnit.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool WaitData(sem_t* sem, int timeoutMs) {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_nsec += static_cast<long>(timeoutMs) * 1000000L;
  deadline.tv_sec += deadline.tv_nsec / 1000000000L;
  deadline.tv_nsec %= 1000000000L;
  return sem_timedwait(sem, &deadline) == 0;
}

// Consumes the stream the way the viewer's display thread does: wait, drain, compare the
// counter, copy the newest frame.
void BM_PipelineAtUsbLimit(benchmark::State& state) {
  const int head = static_cast<int>(state.range(0));
  const uint32_t frameBytes = head == 0 ? 202u * 202u * 4u : 404u * 404u * 4u;
  const double pacedFps = 53248000.0 / frameBytes;

  sim::Unit::Instance().Reset();
  QELSIM_Enable(1);
  QELSIM_SetHead(head);
  QELSIM_SetFrameRate(0);
  QEL_Init();
  int status = 0;
  while (QEL_GetStatus(&status) == 0 && status == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  QEL_HANDLE handle = nullptr;
  QEL_GetDataSemaphoHandle(&handle);
  auto* sem = static_cast<sem_t*>(handle);
  std::vector<unsigned char> frame(frameBytes);
  // Let the stream settle on the head's frame size.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  for (auto _ : state) {
    int first = 0;
    while (sem_trywait(sem) == 0) {
    }
    QEL_GetIndex(&first);
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(3);
    int last = first;
    long copied = 0;
    long missed = 0;
    while (std::chrono::steady_clock::now() < end) {
      if (!WaitData(sem, 1000)) continue;
      while (sem_trywait(sem) == 0) {
      }
      int index = 0;
      QEL_GetIndex(&index);
      if (index == last) continue;
      missed += index - last - 1;
      last = index;
      unsigned int length = 0;
      QEL_GetFrame(frame.data(), frameBytes, &length);
      ++copied;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    const long delivered = last - first;
    state.counters["paced_fps"] = pacedFps;
    state.counters["delivered_fps"] = static_cast<double>(delivered) / seconds;
    state.counters["delivered_ratio"] = static_cast<double>(delivered) / seconds / pacedFps;
    state.counters["copied"] = static_cast<double>(copied);
    state.counters["missed_by_consumer"] = static_cast<double>(missed);
    state.counters["cpu_ms_per_frame"] = delivered > 0 ? cpu * 1000.0 / delivered : 0.0;
    state.counters["cpu_cores"] = cpu / seconds;
  }
  QEL_Term();
}

BENCHMARK(BM_PipelineAtUsbLimit)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
