// Random-access reads from a media file or from memory, with the length known up front.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace playback {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Length when the source was opened.
  virtual uint64_t Size() const = 0;
  // Exactly n bytes from offset; false when they are not all there (also after the file shrank).
  virtual bool Read(uint64_t offset, void* out, size_t n) = 0;
};

// Bytes owned by someone else, alive as long as the source.
class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

// A file opened for reading; one user at a time.
class FileSource : public ByteSource {
 public:
  // Null when the file cannot be opened or its length cannot be told.
  static std::unique_ptr<FileSource> Open(const std::string& path);
  ~FileSource() override;
  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, void* out, size_t n) override;

 private:
  FileSource(std::FILE* file, uint64_t size) : file_(file), size_(size) {}
  std::FILE* file_;
  uint64_t size_;
};

// Little-endian fields of a byte buffer.
inline uint16_t Le16(const uint8_t* p) {
  return uint16_t(p[0] | p[1] << 8);
}
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t Le64(const uint8_t* p) {
  return uint64_t(Le32(p)) | uint64_t(Le32(p + 4)) << 32;
}

// A four-character code as the little-endian word its four ASCII bytes make.
constexpr uint32_t FourCc(const char (&code)[5]) {
  return uint32_t(uint8_t(code[0])) | uint32_t(uint8_t(code[1])) << 8 |
         uint32_t(uint8_t(code[2])) << 16 | uint32_t(uint8_t(code[3])) << 24;
}

}  // namespace playback
