// Little-endian byte images of file structures, built in memory and written in one piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

class ByteWriter {
 public:
  explicit ByteWriter(size_t capacity) { bytes_.reserve(capacity); }

  ByteWriter& U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  ByteWriter& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
  ByteWriter& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
  ByteWriter& U64(uint64_t v) { return U32(uint32_t(v)).U32(uint32_t(v >> 32)); }
  // A four-character code: its four ASCII bytes.
  ByteWriter& Fcc(const char (&code)[5]) { return Bytes(code, 4); }
  ByteWriter& Bytes(const void* data, size_t length) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + length);
    return *this;
  }
  ByteWriter& Zeros(size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
  }

  // Overwrites four bytes already written at `at`, as U32 would have written them.
  ByteWriter& PatchU32(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) bytes_[at + i] = uint8_t(v >> (8 * i));
    return *this;
  }

  const uint8_t* Data() const { return bytes_.data(); }
  size_t Size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace capture
