// TurboJPEG decompression into the painter's 32-bit pixel layout.
#include "viewer/playback/core/JpegDecoder.h"

#include <turbojpeg.h>

#include <climits>

namespace playback {

JpegDecoder::JpegDecoder() : handle_(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
  if (handle_ != nullptr) tjDestroy(handle_);
}

bool JpegDecoder::Decode(const uint8_t* jpeg, size_t length, int width, int height, uint8_t* pixels,
                         size_t stride) {
  if (handle_ == nullptr || jpeg == nullptr || length == 0 || length > ULONG_MAX ||
      stride > size_t(INT_MAX)) {
    return false;
  }
  int w = 0;
  int h = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(handle_, jpeg, static_cast<unsigned long>(length), &w, &h, &subsampling,
                          &colourspace) != 0 ||
      w != width || h != height) {
    return false;
  }
  // BGRA fills the fourth byte with 255. A progressive image with an absurd number of scans is
  // refused rather than decoded for minutes.
  const int result = tjDecompress2(handle_, jpeg, static_cast<unsigned long>(length), pixels, width,
                                   int(stride), height, TJPF_BGRA, TJFLAG_LIMITSCANS);
  return result == 0 || tjGetErrorCode(handle_) == TJERR_WARNING;
}

}  // namespace playback
