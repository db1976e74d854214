// Capture file names, the BMP writer, still saving and the JPEG encoder.
#include "viewer/capture/core/ImageEncoding.h"

#include <turbojpeg.h>

#include <cerrno>
#include <cstdio>

#include "viewer/capture/core/ByteWriter.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/core/Controls.h"

namespace capture {
namespace {

constexpr uint32_t kBmpHeaderBytes = 14 + 40;
// 96 dots per inch, the resolution of the screen the picture was shown on.
constexpr uint32_t kPixelsPerMeter = 3780;

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace

std::string MakeCaptureFileName(int cisType, int side, const std::tm& local) {
  char size[32] = "";
  if (side != 0) std::snprintf(size, sizeof size, "_%dx%d", side, side);
  char name[96];
  std::snprintf(name, sizeof name, "%s%s_%04d%02d%02d_%02d%02d%02d", picture::HeadTypeText(cisType),
                size, local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec);
  return name;
}

std::string MakeCaptureFileName(int cisType, int side) {
  return MakeCaptureFileName(cisType, side, LocalNow());
}

std::vector<uint8_t> BmpHeader(int width, int height) {
  const uint32_t imageSize = uint32_t(live::CaptureRowBytes(width)) * uint32_t(height);
  ByteWriter h(kBmpHeaderBytes);
  h.U8('B').U8('M').U32(kBmpHeaderBytes + imageSize).U16(0).U16(0).U32(kBmpHeaderBytes);
  h.U32(40).U32(uint32_t(width)).U32(uint32_t(height)).U16(1).U16(24).U32(0).U32(imageSize);
  h.U32(kPixelsPerMeter).U32(kPixelsPerMeter).U32(0).U32(0);
  return {h.Data(), h.Data() + h.Size()};
}

files::Result WriteBmp24(const std::string& path, const uint8_t* bitmap, int side) {
  if (bitmap == nullptr || side <= 0) return {EINVAL};
  const std::vector<uint8_t> header = BmpHeader(side, side);
  const size_t pixels = size_t(live::CaptureRowBytes(side)) * size_t(side);
  return files::WriteWholeFile(path, {{reinterpret_cast<const char*>(header.data()), header.size()},
                                      {reinterpret_cast<const char*>(bitmap), pixels}});
}

files::Result SaveStill(const uint8_t* frame, int cisType, bool rawView, bool showBoundaryPixels,
                        const std::string& path) {
  const int side = live::CaptureSide(cisType, showBoundaryPixels);
  // Zero-filled, so the row padding is zero in the file.
  std::vector<uint8_t> bitmap(live::CaptureBytes(cisType, showBoundaryPixels));
  if (rawView) {
    live::ConvertMono(bitmap.data(), frame, cisType, showBoundaryPixels);
  } else {
    live::ConvertColour(bitmap.data(), frame, cisType, showBoundaryPixels);
  }
  return WriteBmp24(path, bitmap.data(), side);
}

JpegEncoder::JpegEncoder() {
  handle_ = tjInitCompress();
  capacity_ = tjBufSize(kMaxCaptureSide, kMaxCaptureSide, TJSAMP_420);
  buffer_ = tjAlloc(int(capacity_));
  if (buffer_ == nullptr) capacity_ = 0;
}

JpegEncoder::~JpegEncoder() {
  if (buffer_ != nullptr) tjFree(buffer_);
  if (handle_ != nullptr) tjDestroy(handle_);
}

size_t JpegEncoder::Encode(const uint8_t* bitmap, int side) {
  if (handle_ == nullptr || buffer_ == nullptr || bitmap == nullptr || side <= 0 ||
      side > kMaxCaptureSide)
    return 0;
  unsigned long length = capacity_;
  unsigned char* out = buffer_;
  // The capture bitmap is read in place: bottom-up rows with their padding as the pitch.
  if (tjCompress2(handle_, bitmap, side, live::CaptureRowBytes(side), side, TJPF_BGR, &out, &length,
                  TJSAMP_420, kJpegQuality, TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC) != 0 ||
      out != buffer_)
    return 0;
  return size_t(length);
}

}  // namespace capture
