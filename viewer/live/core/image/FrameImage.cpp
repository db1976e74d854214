// Frame images for other programs: thin wrappers over the live kernels (Render.h).
#include "viewer/live/core/image/FrameImage.h"

#include <utility>

#include "viewer/live/core/image/Render.h"

namespace live {
namespace {

FrameImageResult Usable(const uint8_t* frame, size_t length, int cisType, const void* dest,
                        size_t destSize, size_t needed) {
  const FrameImageResult check = CheckFrameImage(frame, length, cisType);
  if (check != FrameImageResult::Ok) return check;
  return dest == nullptr || destSize < needed ? FrameImageResult::NoRoom : FrameImageResult::Ok;
}

}  // namespace

int FrameImageSide(int cisType, bool keepBoundary) {
  return CaptureSide(cisType, keepBoundary);
}

size_t FrameImageFrameBytes(int cisType) {
  return FrameBytes(cisType);
}

size_t FrameImageRgbBytes(int cisType, bool keepBoundary) {
  const size_t side = size_t(FrameImageSide(cisType, keepBoundary));
  return side * side * 3;
}

size_t FrameImageLevelCount(int cisType, bool keepBoundary) {
  const size_t side = size_t(FrameImageSide(cisType, keepBoundary));
  return side * side;
}

FrameImageResult CheckFrameImage(const uint8_t* frame, size_t length, int cisType) {
  // A length beyond 32 bits is wrong for every head; CheckFrame takes the unit's 32-bit count.
  if (length != FrameBytes(cisType)) return FrameImageResult::WrongLength;
  return static_cast<FrameImageResult>(CheckFrame(frame, uint32_t(length), cisType));
}

FrameImageResult FrameToRgb(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                            uint8_t* rgb, size_t rgbBytes) {
  const size_t bytes = FrameImageRgbBytes(cisType, keepBoundary);
  const FrameImageResult result = Usable(frame, length, cisType, rgb, rgbBytes, bytes);
  if (result != FrameImageResult::Ok) return result;
  const size_t rowBytes = size_t(FrameImageSide(cisType, keepBoundary)) * 3;
  ConvertColourTopDown(rgb, rowBytes, frame, cisType, keepBoundary);
  // The kernels write blue, green, red.
  for (size_t i = 0; i < bytes; i += 3) std::swap(rgb[i], rgb[i + 2]);
  return result;
}

FrameImageResult FrameToRaw(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                            uint8_t* rgb, size_t rgbBytes) {
  const FrameImageResult result =
      Usable(frame, length, cisType, rgb, rgbBytes, FrameImageRgbBytes(cisType, keepBoundary));
  if (result != FrameImageResult::Ok) return result;
  // Grey: the channel order does not matter.
  ConvertMonoTopDown(rgb, size_t(FrameImageSide(cisType, keepBoundary)) * 3, frame, cisType,
                     keepBoundary);
  return result;
}

FrameImageResult FrameToLevels(const uint8_t* frame, size_t length, int cisType, bool keepBoundary,
                               uint16_t* levels, size_t levelCount) {
  const FrameImageResult result = Usable(frame, length, cisType, levels, levelCount,
                                         FrameImageLevelCount(cisType, keepBoundary));
  if (result != FrameImageResult::Ok) return result;
  const FrameGeometry g = Geometry(cisType);
  const int a = keepBoundary ? 0 : g.b;
  for (int y = a; y < g.n - a; ++y) {
    for (int x = a; x < g.n - a; ++x) {
      *levels++ = uint16_t(RawLevel(frame, size_t(y) * size_t(g.n) + size_t(x)));
    }
  }
  return result;
}

}  // namespace live
