// Reads from memory and from files at 64-bit positions.
#include "viewer/playback/core/ByteSource.h"

#include <cstring>

namespace playback {

bool MemorySource::Read(uint64_t offset, void* out, size_t n) {
  if (offset > size_ || n > size_ - offset) return false;
  if (n != 0) std::memcpy(out, data_ + offset, n);
  return true;
}

namespace {

bool Seek(std::FILE* file, uint64_t offset) {
  if (offset > uint64_t(INT64_MAX)) return false;
#if defined(_WIN32)
  return _fseeki64(file, int64_t(offset), SEEK_SET) == 0;
#else
  return fseeko(file, off_t(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return nullptr;
#if defined(_WIN32)
  const bool atEnd = _fseeki64(file, 0, SEEK_END) == 0;
  const int64_t size = atEnd ? _ftelli64(file) : -1;
#else
  const bool atEnd = fseeko(file, 0, SEEK_END) == 0;
  const int64_t size = atEnd ? int64_t(ftello(file)) : -1;
#endif
  if (size < 0) {
    std::fclose(file);
    return nullptr;
  }
  return std::unique_ptr<FileSource>(new FileSource(file, uint64_t(size)));
}

FileSource::~FileSource() {
  std::fclose(file_);
}

bool FileSource::Read(uint64_t offset, void* out, size_t n) {
  if (n == 0) return true;
  if (!Seek(file_, offset)) return false;
  return std::fread(out, 1, n, file_) == n;
}

}  // namespace playback
