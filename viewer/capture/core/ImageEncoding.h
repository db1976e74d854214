// What the capture features share: proposed file names, the 24-bit BMP writer for stills and the
// JPEG encoder for video frames, both reading the capture bitmap layout (bottom-up blue, green,
// red rows padded to a multiple of 4 bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "viewer/files/Files.h"

namespace capture {

constexpr int kJpegQuality = 80;
// The largest capture side (a 160K frame with its boundary ring).
constexpr int kMaxCaptureSide = 404;

// "%s%s_%04d%02d%02d_%02d%02d%02d": head type, "_SxS" when side is not 0, local date and time.
// The caller appends the extension.
std::string MakeCaptureFileName(int cisType, int side, const std::tm& local);
// The same with the local time now.
std::string MakeCaptureFileName(int cisType, int side);

// The 54 bytes before the pixels of a width x height 24-bit bottom-up BMP: 14-byte file header,
// 40-byte info header (1 plane, 24 bits, no compression).
std::vector<uint8_t> BmpHeader(int width, int height);

// Writes a side x side capture bitmap as a BMP file that replaces an earlier one only once
// complete; the result says why it could not be written.
files::Result WriteBmp24(const std::string& path, const uint8_t* bitmap, int side);

// Converts a checked frame the way the live view does (monochrome for raw data, the boundary
// ring only when shown) and saves it as WriteBmp24 does.
files::Result SaveStill(const uint8_t* frame, int cisType, bool rawView, bool showBoundaryPixels,
                        const std::string& path);

// JPEG at quality 80 into a buffer that lives as long as the encoder, sized once for the largest
// capture bitmap, so encoding allocates nothing.
class JpegEncoder {
 public:
  JpegEncoder();
  ~JpegEncoder();
  JpegEncoder(const JpegEncoder&) = delete;
  JpegEncoder& operator=(const JpegEncoder&) = delete;

  // Encodes a side x side capture bitmap; the length of the JPEG data, 0 when it failed.
  size_t Encode(const uint8_t* bitmap, int side);
  const uint8_t* Data() const { return buffer_; }

 private:
  void* handle_ = nullptr;
  uint8_t* buffer_ = nullptr;
  unsigned long capacity_ = 0;
};

}  // namespace capture
