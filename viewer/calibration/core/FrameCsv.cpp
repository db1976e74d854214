// Frame CSV export.
#include "viewer/calibration/core/FrameCsv.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "viewer/calibration/core/CalibrationControls.h"
#include "viewer/files/Files.h"

namespace calibration {
namespace {

// Text of every level followed by its comma, in eight bytes so that one store copies it; the
// last byte holds the length to advance by.
struct LevelTexts {
  std::array<std::array<char, 8>, 1024> text{};
  LevelTexts() {
    for (int level = 0; level < 1024; ++level) {
      auto& entry = text[size_t(level)];
      const int length = std::snprintf(entry.data(), 6, "%d,", level);
      entry[7] = static_cast<char>(length);
    }
  }
};

const LevelTexts& Texts() {
  static const LevelTexts texts;
  return texts;
}

}  // namespace

void FormatFrameCsv(const uint8_t* frame, live::FrameGeometry g, bool showBoundaryPixels,
                    std::string& out) {
  const int a = showBoundaryPixels ? 0 : g.b;
  const int side = g.n - 2 * a;
  if (side <= 0) {
    out.clear();
    return;
  }
  // At most four digits and a comma per level, one more byte per line for CR LF, and room for
  // the eight-byte store of the last level.
  const size_t capacity = size_t(side) * size_t(side) * 5 + size_t(side) + 8;
  if (out.size() < capacity) out.resize(capacity);
  const LevelTexts& texts = Texts();
  char* p = out.data();
  for (int y = a; y < g.n - a; ++y) {
    const uint8_t* row = frame + (size_t(y) * size_t(g.n) + size_t(a)) * 4;
    for (int x = 0; x < side; ++x) {
      const auto& entry = texts.text[size_t(RawLevel(row, size_t(x)))];
      std::memcpy(p, entry.data(), 8);
      p += entry[7];
    }
    p[-1] = '\r';  // the last comma of the line
    *p++ = '\n';
  }
  out.resize(size_t(p - out.data()));
}

std::string CsvFileName(std::string_view basePath, int counter) {
  constexpr std::string_view kExtension = ".csv";
  std::string_view stem = basePath;
  if (stem.size() >= kExtension.size()) {
    const std::string_view tail = stem.substr(stem.size() - kExtension.size());
    bool same = true;
    for (size_t i = 0; i < tail.size(); ++i) {
      const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
      same = same && c == kExtension[i];
    }
    if (same) stem.remove_suffix(kExtension.size());
  }
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "_%03d.csv", counter);
  return std::string(stem) + suffix;
}

void CsvExport::Start(std::string basePath, int frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  basePath_ = std::move(basePath);
  if (active_.load()) return;
  frames_ = std::clamp(frames, kMinFrames, kMaxFrames);
  remaining_ = frames_;
  active_ = true;
}

CsvExport::Step CsvExport::Next(const uint8_t* frame, uint32_t length, int cisType,
                                bool showBoundaryPixels, bool rawView) {
  Step step;
  int remaining = 0;
  bool first = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_.load()) return step;
    remaining = remaining_;
    first = remaining_ == frames_;
  }
  step.failed = WriteFrameCsv(frame, length, cisType, showBoundaryPixels, rawView, first) < 0;
  step.error = step.failed ? lastError_ : 0;
  step.progress = 101 - remaining;
  std::lock_guard<std::mutex> lock(mutex_);
  remaining_ = remaining - 1;
  step.finished = remaining_ == 0 || step.failed;
  if (step.finished) active_ = false;
  return step;
}

int CsvExport::WriteFrameCsv(const uint8_t* frame, uint32_t length, int cisType,
                             bool showBoundaryPixels, bool rawView, bool first) {
  lastError_ = 0;
  if (!rawView || frame == nullptr || length < live::FrameBytes(cisType)) return -1;
  if (first) counter_ = 1;
  std::string path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    currentPath_ = CsvFileName(basePath_, counter_);
    path = currentPath_;
  }
  ++counter_;
  FormatFrameCsv(frame, live::Geometry(cisType), showBoundaryPixels, text_);
  lastError_ = files::WriteWholeFile(path, text_).error;
  return lastError_ == 0 ? 0 : -1;
}

std::string CsvExport::CurrentPath() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return currentPath_;
}

}  // namespace calibration
