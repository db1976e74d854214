// Helpers for the capture tests: reading little-endian fields, files kept in memory (whole, or
// sparse for files of gigabytes), and running ffprobe/ffmpeg as independent readers.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "viewer/capture/core/AviWriter.h"
#include "viewer/live/core/image/Render.h"

namespace capture_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t U32(const Bytes& b, uint64_t at) {
  return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
         uint32_t(b.at(at + 3)) << 24;
}
inline uint16_t U16(const Bytes& b, uint64_t at) {
  return uint16_t(b.at(at) | b.at(at + 1) << 8);
}
inline uint64_t U64(const Bytes& b, uint64_t at) {
  return uint64_t(U32(b, at)) | uint64_t(U32(b, at + 4)) << 32;
}
inline std::string Text(const Bytes& b, uint64_t at, size_t n) {
  return std::string(b.begin() + std::ptrdiff_t(at), b.begin() + std::ptrdiff_t(at + n));
}

// A side x side capture bitmap of one colour (blue, green, red), its row padding left zero.
inline Bytes UniformBitmap(int side, uint8_t b, uint8_t g, uint8_t r) {
  const int row = live::CaptureRowBytes(side);
  Bytes bitmap(size_t(row) * side, 0);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      uint8_t* p = bitmap.data() + size_t(y) * row + size_t(x) * 3;
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return bitmap;
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file in memory. A disk that fills up: the write number failOccurrence (from 0) among the
// writes of failLength bytes stores only its first keepBytes and fails; seeks and the close can
// be made to fail as well.
struct MemoryFile {
  Bytes bytes;
  int writes = 0;
  size_t failLength = 0;
  int failOccurrence = 0;
  int occurrences = 0;
  size_t keepBytes = 0;
  int failSeeksFrom = -1;  // seek number from which every seek fails
  int seeks = 0;
  bool failClose = false;
  bool closed = false;
};

class MemorySink : public capture::FileSink {
 public:
  explicit MemorySink(std::shared_ptr<MemoryFile> file) : file_(std::move(file)) {}

  bool Write(const void* data, size_t length) override {
    ++file_->writes;
    const bool fail = length == file_->failLength && file_->occurrences++ == file_->failOccurrence;
    const size_t kept = fail ? std::min(length, file_->keepBytes) : length;
    if (file_->bytes.size() < position_ + kept) file_->bytes.resize(position_ + kept);
    if (kept != 0) std::memcpy(file_->bytes.data() + position_, data, kept);
    position_ += kept;
    return !fail;
  }
  bool Seek(uint64_t position) override {
    if (file_->failSeeksFrom >= 0 && file_->seeks++ >= file_->failSeeksFrom) return false;
    position_ = position;
    return true;
  }
  bool Truncate(uint64_t length) override {
    file_->bytes.resize(length);
    return true;
  }
  bool Close() override {
    file_->closed = true;
    return !file_->failClose;
  }

 private:
  std::shared_ptr<MemoryFile> file_;
  uint64_t position_ = 0;
};

// A file of any length whose large writes (frame data) are only counted: every other byte is
// kept by position, so headers and indexes beyond 2 GiB can be read back.
struct SparseFile {
  std::map<uint64_t, uint8_t> bytes;
  uint64_t length = 0;

  Bytes Read(uint64_t at, size_t n) const {
    Bytes out(n, 0xEE);
    for (size_t i = 0; i < n; ++i) {
      const auto it = bytes.find(at + i);
      if (it != bytes.end()) out[i] = it->second;
    }
    return out;
  }
};

class SparseSink : public capture::FileSink {
 public:
  static constexpr size_t kKeptWrite = 1 << 20;
  explicit SparseSink(std::shared_ptr<SparseFile> file) : file_(std::move(file)) {}

  bool Write(const void* data, size_t length) override {
    if (length <= kKeptWrite) {
      const auto* p = static_cast<const uint8_t*>(data);
      for (size_t i = 0; i < length; ++i) file_->bytes[position_ + i] = p[i];
    }
    position_ += length;
    file_->length = std::max(file_->length, position_);
    return true;
  }
  bool Seek(uint64_t position) override {
    position_ = position;
    return true;
  }
  bool Truncate(uint64_t length) override {
    file_->length = length;
    return true;
  }
  bool Close() override { return true; }

 private:
  std::shared_ptr<SparseFile> file_;
  uint64_t position_ = 0;
};

// A disk that fills up for real files: while it lives, no file of this process grows beyond
// `bytes`; writes past it fail (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

// Runs a shell command and returns what it printed; exitCode gets its status.
inline std::string Run(const std::string& command, int* exitCode = nullptr) {
  std::string out;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (exitCode != nullptr) *exitCode = -1;
    return out;
  }
  std::array<char, 4096> buffer;
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
  const int status = pclose(pipe);
  if (exitCode != nullptr) *exitCode = status;
  return out;
}

inline bool HaveFfmpeg() {
  int status = -1;
  Run("ffprobe -version >/dev/null 2>&1 && ffmpeg -version >/dev/null 2>&1", &status);
  return status == 0;
}

}  // namespace capture_test
