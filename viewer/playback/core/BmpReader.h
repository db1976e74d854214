// Reader of uncompressed 24-bit and 32-bit Windows bitmaps, bottom-up or top-down.
#pragma once

#include <cstddef>
#include <cstdint>

#include "viewer/playback/core/ByteSource.h"

namespace playback {

enum class BmpResult {
  Ok,
  NotBmp,       // no "BM" file header or no known info header
  Unsupported,  // another bit count, compression or colour layout
  BadSize,      // no picture size, or one beyond the limits
  Truncated,    // the pixel rows are not all in the file
};

struct BmpInfo {
  int width = 0;
  int height = 0;
  int bitCount = 0;  // 24 or 32
  bool topDown = false;
  uint64_t pixelOffset = 0;
  uint32_t rowBytes = 0;  // padded to a multiple of 4
};

BmpResult ReadBmpInfo(ByteSource& source, BmpInfo& info);

// The picture as 32-bit pixels (blue, green, red, 255), top row first, rows `stride` bytes
// apart; `row` is scratch room of info.rowBytes. False when a row cannot be read.
bool ReadBmpPixels(ByteSource& source, const BmpInfo& info, uint8_t* pixels, size_t stride,
                   uint8_t* row);

}  // namespace playback
