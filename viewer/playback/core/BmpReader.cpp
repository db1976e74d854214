// BMP headers checked against the file before a pixel is read; rows converted one at a time.
#include "viewer/playback/core/BmpReader.h"

#include "viewer/playback/core/Limits.h"

namespace playback {
namespace {

constexpr uint64_t kFileHeaderBytes = 14;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// Info header sizes: BITMAPINFOHEADER, its two extensions with masks, V4 and V5.
bool KnownInfoHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

}  // namespace

BmpResult ReadBmpInfo(ByteSource& source, BmpInfo& info) {
  uint8_t h[kFileHeaderBytes + 40];
  if (!source.Read(0, h, sizeof h) || h[0] != 'B' || h[1] != 'M') return BmpResult::NotBmp;
  const uint32_t headerSize = Le32(h + 14);
  if (!KnownInfoHeader(headerSize)) return BmpResult::NotBmp;
  const int64_t width = int32_t(Le32(h + 18));
  const int64_t height = int32_t(Le32(h + 22));
  const uint16_t planes = Le16(h + 26);
  const uint16_t bitCount = Le16(h + 28);
  const uint32_t compression = Le32(h + 30);
  if (planes != 1 || (bitCount != 24 && bitCount != 32)) return BmpResult::Unsupported;
  uint64_t headersEnd = kFileHeaderBytes + headerSize;
  if (compression == kBiBitfields) {
    // Colour masks: inside the larger headers, or three words after the plain one. Only the
    // byte layout that BI_RGB has for 32 bits is taken.
    if (bitCount != 32) return BmpResult::Unsupported;
    uint8_t masks[12];
    if (!source.Read(kFileHeaderBytes + 40, masks, sizeof masks)) return BmpResult::Truncated;
    if (Le32(masks) != 0x00FF0000u || Le32(masks + 4) != 0x0000FF00u ||
        Le32(masks + 8) != 0x000000FFu) {
      return BmpResult::Unsupported;
    }
    if (headerSize == 40) headersEnd += sizeof masks;
  } else if (compression != kBiRgb) {
    return BmpResult::Unsupported;
  }
  // A negative height stores the rows top-down.
  const int64_t rows = height < 0 ? -height : height;
  if (!PictureSizeFits(width, rows)) return BmpResult::BadSize;

  const uint64_t pixelOffset = Le32(h + 10);
  const uint64_t rowBytes = (uint64_t(width) * bitCount + 31) / 32 * 4;
  const uint64_t size = source.Size();
  if (pixelOffset < headersEnd || pixelOffset > size || rowBytes * rows > size - pixelOffset) {
    return BmpResult::Truncated;
  }
  info.width = int(width);
  info.height = int(rows);
  info.bitCount = bitCount;
  info.topDown = height < 0;
  info.pixelOffset = pixelOffset;
  info.rowBytes = uint32_t(rowBytes);
  return BmpResult::Ok;
}

bool ReadBmpPixels(ByteSource& source, const BmpInfo& info, uint8_t* pixels, size_t stride,
                   uint8_t* row) {
  const int step = info.bitCount / 8;
  for (int y = 0; y < info.height; ++y) {
    const int stored = info.topDown ? y : info.height - 1 - y;
    if (!source.Read(info.pixelOffset + uint64_t(stored) * info.rowBytes, row, info.rowBytes)) {
      return false;
    }
    uint8_t* out = pixels + size_t(y) * stride;
    const uint8_t* in = row;
    for (int x = 0; x < info.width; ++x, in += step, out += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 0xFF;
    }
  }
  return true;
}

}  // namespace playback
