// Frame CSV export: one 404 x 404 raw frame written as a CSV file, next to a writer that formats
// every level with snprintf, measured in the same run on the same file.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "viewer/calibration/core/FrameCsv.h"
#include "viewer/files/Files.h"

namespace {

constexpr int kCisType = 1;  // 160K: the largest frame

std::vector<uint8_t> RandomFrame() {
  std::vector<uint8_t> frame(live::FrameBytes(kCisType));
  std::mt19937 rng(11);
  for (auto& byte : frame) byte = uint8_t(rng());
  return frame;
}

const std::string& CsvPath() {
  static const std::string path =
      (std::filesystem::temp_directory_path() / "qel_csv_bench.csv").string();
  return path;
}

// The plain way: each level through snprintf, each line through fwrite.
bool SnprintfCsv(const std::string& path, const uint8_t* frame, bool showBoundaryPixels) {
  const live::FrameGeometry g = live::Geometry(kCisType);
  const int a = showBoundaryPixels ? 0 : g.b;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = true;
  std::string line;
  char value[16];
  for (int y = a; y < g.n - a; ++y) {
    line.clear();
    for (int x = a; x < g.n - a; ++x) {
      const int length =
          std::snprintf(value, sizeof value, x + 1 < g.n - a ? "%d," : "%d\r\n",
                        calibration::RawLevel(frame, size_t(y) * size_t(g.n) + size_t(x)));
      line.append(value, size_t(length));
    }
    ok = ok && std::fwrite(line.data(), 1, line.size(), file) == line.size();
  }
  return (std::fclose(file) == 0) && ok;
}

bool FastCsv(const std::string& path, const uint8_t* frame, std::string& text) {
  calibration::FormatFrameCsv(frame, live::Geometry(kCisType), false, text);
  return static_cast<bool>(files::WriteWholeFile(path, text));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

template <typename F>
double MeanSeconds(F write, int runs) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) write();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() / runs;
}

void BM_FrameCsvFile(benchmark::State& state) {
  const std::vector<uint8_t> frame = RandomFrame();
  std::string text;
  // Both writers must give the same file, byte for byte.
  if (!SnprintfCsv(CsvPath(), frame.data(), false)) {
    state.SkipWithError("cannot write the CSV file");
    return;
  }
  const std::string reference = ReadFile(CsvPath());
  FastCsv(CsvPath(), frame.data(), text);
  if (ReadFile(CsvPath()) != reference) {
    state.SkipWithError("the two writers differ");
    return;
  }
  // Each run writes a new file, as an export run does: replacing one costs the file system
  // more than writing it.
  const double plain = MeanSeconds(
      [&] {
        std::filesystem::remove(CsvPath());
        SnprintfCsv(CsvPath(), frame.data(), false);
      },
      20);
  const double fast = MeanSeconds(
      [&] {
        std::filesystem::remove(CsvPath());
        FastCsv(CsvPath(), frame.data(), text);
      },
      20);

  for (auto _ : state) {
    std::filesystem::remove(CsvPath());
    if (!FastCsv(CsvPath(), frame.data(), text)) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
  state.counters["file_kB"] = double(text.size()) / 1024.0;
  state.counters["snprintf_ms"] = plain * 1e3;
  state.counters["fast_ms"] = fast * 1e3;
  state.counters["x_faster"] = plain / fast;
  std::filesystem::remove(CsvPath());
}
BENCHMARK(BM_FrameCsvFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
