// JPEG frames into 32-bit pixels with TurboJPEG; one decoder per thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace playback {

class JpegDecoder {
 public:
  JpegDecoder();
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Decodes a JPEG image of exactly width x height pixels into blue, green, red, 255 pixels, top
  // row first, rows `stride` bytes apart. False for data that is no such image; a picture cut
  // short is decoded as far as it goes.
  bool Decode(const uint8_t* jpeg, size_t length, int width, int height, uint8_t* pixels,
              size_t stride);

 private:
  void* handle_;
};

}  // namespace playback
