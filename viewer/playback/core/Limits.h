// Bounds on what a media file may claim; beyond them a header is lying, not describing a picture.
#pragma once

#include <cstdint>

namespace playback {

constexpr int kMaxPictureSide = 8192;
constexpr int64_t kMaxPicturePixels = int64_t{1} << 23;
// Largest frame chunk read into memory.
constexpr uint32_t kMaxFrameBytes = 64u << 20;

constexpr bool PictureSizeFits(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

}  // namespace playback
