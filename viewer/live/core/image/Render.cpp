// Frame check, colour and monochrome conversion, boundary blanking and the drawn overlays of the
// display bitmap; plain integer kernels over caller-owned buffers.
#include "viewer/live/core/image/Render.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

// The vector kernels need SSSE3 byte shuffles (colour rows use AVX2 where present) and are
// chosen at run time; other machines, and builds with QEL_LIVE_SCALAR, use the plain kernels.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QEL_LIVE_SCALAR)
#include <immintrin.h>
#define QEL_LIVE_SSSE3 1
#define QEL_TARGET_SSSE3 __attribute__((target("ssse3")))
#define QEL_TARGET_AVX2 __attribute__((target("avx2")))
#endif

namespace live {
namespace {

// Pixel colours packed as blue | green << 8 | red << 16, the byte order of the bitmaps.
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kYellow = 0xFFFF00;

// Only the three zoom factors the views offer exist; anything else draws at 100 %.
int SaneZoom(int zoom) {
  return zoom == 2 || zoom == 4 ? zoom : 1;
}

inline int32_t Word(const uint8_t* p) {
  return int32_t(p[0]) | int32_t(p[1]) << 8;
}

// Clamp to 0..255 without a table or a branch: negative values are masked to 0, values above 255
// turn into all ones before the byte is taken.
inline uint32_t Clamp255(int32_t v) {
  v &= ~(v >> 31);
  v |= (255 - v) >> 31;
  return uint32_t(v) & 0xFF;
}

inline uint32_t Colour(int32_t luma, int32_t redPart, int32_t greenPart, int32_t bluePart) {
  const int32_t l = luma << 16;
  return Clamp255((l + bluePart) >> 20) | Clamp255((l + greenPart) >> 20) << 8 |
         Clamp255((l + redPart) >> 20) << 16;
}

// Store one pixel as z copies. The fast form writes whole 32-bit words and may touch one byte
// past the block, which the next pixel overwrites; the last pixel of a row uses the exact form.
template <int Z>
inline void PutFast(uint8_t*& out, uint32_t px) {
  for (int k = 0; k < Z; ++k) std::memcpy(out + 3 * k, &px, 4);
  out += 3 * Z;
}

template <int Z>
inline void PutExact(uint8_t*& out, uint32_t px) {
  for (int k = 0; k < Z; ++k) {
    out[3 * k] = uint8_t(px);
    out[3 * k + 1] = uint8_t(px >> 8);
    out[3 * k + 2] = uint8_t(px >> 16);
  }
  out += 3 * Z;
}

// Row kernels: `pairs` pixel pairs from src into 2 * pairs * Z bitmap pixels, nothing written
// beyond them.
template <int Z>
void ColourRowScalar(const uint8_t* src, int pairs, uint8_t* out) {
  for (int p = 0; p < pairs; ++p, src += 8) {
    const int32_t u = (Word(src) >> 4) - 2048;
    const int32_t v = (Word(src + 4) >> 4) - 2048;
    const int32_t redPart = 91894 * v;
    const int32_t greenPart = -22649 * u - 46825 * v;
    const int32_t bluePart = 116064 * u;
    const uint32_t px0 = Colour(Word(src + 2) >> 4, redPart, greenPart, bluePart);
    const uint32_t px1 = Colour(Word(src + 6) >> 4, redPart, greenPart, bluePart);
    PutFast<Z>(out, px0);
    if (p + 1 < pairs) {
      PutFast<Z>(out, px1);
    } else {
      PutExact<Z>(out, px1);
    }
  }
}

// Raw rows: the grey level is the high byte of each pixel's second word.
template <int Z>
void MonoRowScalar(const uint8_t* src, int pairs, uint8_t* out) {
  for (int p = 0; p < pairs; ++p, src += 8) {
    PutFast<Z>(out, uint32_t(src[3]) * 0x010101u);
    const uint32_t px1 = uint32_t(src[7]) * 0x010101u;
    if (p + 1 < pairs) {
      PutFast<Z>(out, px1);
    } else {
      PutExact<Z>(out, px1);
    }
  }
}

#if QEL_LIVE_SSSE3

// Byte shuffle controls that spread eight converted pixels over 24 x Z output bytes, 16 bytes
// per store. Output byte k belongs to pixel k / (3Z) and channel k % 3; SelectColour and
// SelectMono name the source register (0 or 1) and the byte holding it. Colour sources are
// [B0..B7 G0..G7] and [R0..R7]; raw sources are the two loaded halves of the frame row, whose
// fourth byte per pixel is the level.
struct ByteSource {
  int reg;
  int byte;
};

constexpr ByteSource SelectColour(int pixel, int channel) {
  return channel == 0   ? ByteSource{0, pixel}
         : channel == 1 ? ByteSource{0, 8 + pixel}
                        : ByteSource{1, pixel};
}

constexpr ByteSource SelectMono(int pixel, int) {
  return pixel < 4 ? ByteSource{0, 4 * pixel + 3} : ByteSource{1, 4 * (pixel - 4) + 3};
}

template <int Z, bool Mono>
struct Spread {
  static constexpr int kBytes = 24 * Z;
  static constexpr int kStores = (kBytes + 15) / 16;
  struct Controls {
    alignas(16) uint8_t bytes[kStores][2][16];
  };
  static constexpr Controls Make() {
    Controls c{};
    for (int k = 0; k < kStores * 16; ++k) {
      const ByteSource from =
          Mono ? SelectMono(k / (3 * Z), k % 3) : SelectColour(k / (3 * Z), k % 3);
      for (int reg = 0; reg < 2; ++reg) {
        c.bytes[k / 16][reg][k % 16] = k < kBytes && from.reg == reg ? uint8_t(from.byte) : 0x80;
      }
    }
    return c;
  }
  static constexpr Controls kControls = Make();
};

template <int Z, bool Mono>
QEL_TARGET_SSSE3 inline void Emit(__m128i first, __m128i second, uint8_t* out) {
  using S = Spread<Z, Mono>;
  for (int i = 0; i < S::kStores; ++i) {
    const auto* control = reinterpret_cast<const __m128i*>(S::kControls.bytes[i]);
    const __m128i bytes = _mm_or_si128(_mm_shuffle_epi8(first, _mm_load_si128(control)),
                                       _mm_shuffle_epi8(second, _mm_load_si128(control + 1)));
    if (16 * (i + 1) <= S::kBytes) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * i), bytes);
    } else {
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16 * i), bytes);
    }
  }
}

// Four colour pairs (eight pixels). With L = luma << 16, (L + P) >> 20 equals
// (luma + (P >> 16)) >> 4 exactly, so each pixel needs only the high half of its colour part P,
// and the per-pixel work runs on 16-bit lanes. The coefficients are split so that the high
// halves come out of 16-bit multiplies without rounding: 91,894 v = 65,536 v + 26,358 v;
// 116,064 u = 131,072 u - 15,008 u; -22,649 u - 46,825 v = -65,536 v + (-22,649 u + 18,711 v).
// The saturating pack clamps to 0..255.
template <int Z>
QEL_TARGET_SSSE3 inline void ColourEight(const uint8_t* src, uint8_t* out) {
  // Each half of the input to [Y Y Y Y | Cb Cr Cb Cr]; then lumas and chroma pairs apart.
  const __m128i split = _mm_setr_epi8(2, 3, 6, 7, 10, 11, 14, 15, 0, 1, 4, 5, 8, 9, 12, 13);
  const __m128i a = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), split);
  const __m128i b =
      _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), split);
  const __m128i luma = _mm_srli_epi16(_mm_unpacklo_epi64(a, b), 4);
  const __m128i uv =
      _mm_sub_epi16(_mm_srli_epi16(_mm_unpackhi_epi64(a, b), 4), _mm_set1_epi16(2048));
  const __m128i u =
      _mm_shuffle_epi8(uv, _mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13));
  const __m128i v =
      _mm_shuffle_epi8(uv, _mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
  const __m128i red = _mm_add_epi16(v, _mm_mulhi_epi16(v, _mm_set1_epi16(26358)));
  const __m128i blue =
      _mm_add_epi16(_mm_add_epi16(u, u), _mm_mulhi_epi16(u, _mm_set1_epi16(-15008)));
  const __m128i greenPair = _mm_madd_epi16(uv, _mm_set1_epi32(18711 << 16 | (-22649 & 0xFFFF)));
  const __m128i green = _mm_sub_epi16(
      _mm_shuffle_epi8(greenPair,
                       _mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15)),
      v);
  auto channel = [luma](__m128i share) { return _mm_srai_epi16(_mm_add_epi16(luma, share), 4); };
  const __m128i blueGreen = _mm_packus_epi16(channel(blue), channel(green));
  const __m128i redBytes = _mm_packus_epi16(channel(red), _mm_setzero_si128());
  Emit<Z, false>(blueGreen, redBytes, out);
}

// Sixteen pixels: the same arithmetic as ColourEight on two groups of four pairs at once, one
// group per 128-bit lane (every shuffle stays within its lane), then each lane is spread out
// like ColourEight's result.
QEL_TARGET_AVX2 inline __m256i LoadLanes(const uint8_t* lo, const uint8_t* hi) {
  return _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

QEL_TARGET_AVX2 inline __m256i Channel(__m256i luma, __m256i share) {
  return _mm256_srai_epi16(_mm256_add_epi16(luma, share), 4);
}

template <int Z>
QEL_TARGET_AVX2 inline void ColourSixteen(const uint8_t* src, uint8_t* out) {
  const __m256i split = _mm256_setr_epi8(2, 3, 6, 7, 10, 11, 14, 15, 0, 1, 4, 5, 8, 9, 12, 13, 2, 3,
                                         6, 7, 10, 11, 14, 15, 0, 1, 4, 5, 8, 9, 12, 13);
  const __m256i a = _mm256_shuffle_epi8(LoadLanes(src, src + 32), split);
  const __m256i b = _mm256_shuffle_epi8(LoadLanes(src + 16, src + 48), split);
  const __m256i luma = _mm256_srli_epi16(_mm256_unpacklo_epi64(a, b), 4);
  const __m256i uv =
      _mm256_sub_epi16(_mm256_srli_epi16(_mm256_unpackhi_epi64(a, b), 4), _mm256_set1_epi16(2048));
  const __m256i evens = _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13, 0, 1,
                                         0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
  const __m256i odds = _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15, 2,
                                        3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
  const __m256i u = _mm256_shuffle_epi8(uv, evens);
  const __m256i v = _mm256_shuffle_epi8(uv, odds);
  const __m256i red = _mm256_add_epi16(v, _mm256_mulhi_epi16(v, _mm256_set1_epi16(26358)));
  const __m256i blue =
      _mm256_add_epi16(_mm256_add_epi16(u, u), _mm256_mulhi_epi16(u, _mm256_set1_epi16(-15008)));
  const __m256i greenPair =
      _mm256_madd_epi16(uv, _mm256_set1_epi32(18711 << 16 | (-22649 & 0xFFFF)));
  const __m256i green = _mm256_sub_epi16(_mm256_shuffle_epi8(greenPair, odds), v);
  const __m256i blueGreen = _mm256_packus_epi16(Channel(luma, blue), Channel(luma, green));
  const __m256i redBytes = _mm256_packus_epi16(Channel(luma, red), _mm256_setzero_si256());
  Emit<Z, false>(_mm256_castsi256_si128(blueGreen), _mm256_castsi256_si128(redBytes), out);
  Emit<Z, false>(_mm256_extracti128_si256(blueGreen, 1), _mm256_extracti128_si256(redBytes, 1),
                 out + 24 * Z);
}

// Eight raw pixels: the fourth byte of each becomes a grey pixel.
template <int Z>
QEL_TARGET_SSSE3 inline void MonoEight(const uint8_t* src, uint8_t* out) {
  Emit<Z, true>(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)),
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), out);
}

// Colour rows eight pairs at a time; a tail of fewer than eight pairs is done in groups of four
// like VectorRow, moved back to end at the row's end.
template <int Z>
QEL_TARGET_AVX2 void ColourRowAvx2(const uint8_t* src, int pairs, uint8_t* out) {
  int p = 0;
  for (; p + 8 <= pairs; p += 8) ColourSixteen<Z>(src + 8 * p, out + 6 * Z * p);
  for (; p < pairs; p += 4) {
    const int q = std::min(p, pairs - 4);
    ColourEight<Z>(src + 8 * q, out + 6 * Z * q);
  }
}

// Groups of four pairs writing exactly their own bytes; the last group is moved back to end at
// the row's end, repeating up to three pairs already written.
template <int Z, bool Mono>
QEL_TARGET_SSSE3 void VectorRow(const uint8_t* src, int pairs, uint8_t* out) {
  for (int p = 0; p < pairs; p += 4) {
    const int q = std::min(p, pairs - 4);
    if constexpr (Mono) {
      MonoEight<Z>(src + 8 * q, out + 6 * Z * q);
    } else {
      ColourEight<Z>(src + 8 * q, out + 6 * Z * q);
    }
  }
}

// Asked once per process, not once per row.
bool HasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}

bool HasAvx2() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

#endif

#if QEL_LIVE_SSSE3
// Four pixels per step from 16 loaded bytes (of which 12 are used), so the loop stops while at
// least 16 bytes remain and the rest goes one pixel at a time.
QEL_TARGET_SSSE3 int BgrToArgb32Vector(const uint8_t* bgr, int count, uint32_t* argb) {
  const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  int x = 0;
  for (; x + 6 <= count; x += 4) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(argb + x),
                     _mm_or_si128(_mm_shuffle_epi8(in, spread), opaque));
  }
  return x;
}
#endif

std::atomic<int> kernelLevel{static_cast<int>(KernelLevel::Best)};

bool Allowed(KernelLevel level) {
  return kernelLevel.load(std::memory_order_relaxed) >= static_cast<int>(level);
}

template <int Z>
void ColourRow(const uint8_t* src, int pairs, uint8_t* out) {
#if QEL_LIVE_SSSE3
  if (pairs >= 4 && Allowed(KernelLevel::Avx2) && HasAvx2()) {
    return ColourRowAvx2<Z>(src, pairs, out);
  }
  if (pairs >= 4 && Allowed(KernelLevel::Ssse3) && HasSsse3()) {
    return VectorRow<Z, false>(src, pairs, out);
  }
#endif
  ColourRowScalar<Z>(src, pairs, out);
}

template <int Z>
void MonoRow(const uint8_t* src, int pairs, uint8_t* out) {
#if QEL_LIVE_SSSE3
  if (pairs >= 4 && Allowed(KernelLevel::Ssse3) && HasSsse3()) {
    return VectorRow<Z, true>(src, pairs, out);
  }
#endif
  MonoRowScalar<Z>(src, pairs, out);
}

using RowFn = void (*)(const uint8_t*, int, uint8_t*);

// Blackens the part of the top-left dirty x dirty square that lies outside the side x side
// picture.
void ClearAround(uint8_t* display, int side, int dirty) {
  dirty = std::min(dirty, kDisplaySide);
  if (dirty <= side) return;
  for (int y = 0; y < dirty; ++y) {
    const int from = y < side ? side : 0;
    std::memset(display + size_t(kDisplaySide - 1 - y) * kDisplayRowBytes + size_t(from) * 3, 0,
                size_t(dirty - from) * 3);
  }
}

// Converts the frame row by row, each converted row copied into the z - 1 picture rows below it;
// only the part of the bitmap outside the picture that may not be black yet is cleared.
void RenderFrame(const uint8_t* frame, int cisType, int z, uint8_t* display, RowFn row,
                 int dirtySide) {
  if (frame == nullptr || display == nullptr) return;
  const int n = Geometry(cisType).n;
  const int side = PictureSide(cisType, z);
  const int count = side / z;  // whole source pixels that fit per side
  const size_t pictureBytes = size_t(side) * 3;
  const size_t frameRowBytes = size_t(n) * 4;

  ClearAround(display, side, dirtySide);
  for (int r = 0; r < count; ++r) {
    uint8_t* line = display + size_t(kDisplaySide - 1 - r * z) * kDisplayRowBytes;
    row(frame + r * frameRowBytes, count / 2, line);
    for (int k = 1; k < z; ++k)
      std::memcpy(line - size_t(k) * kDisplayRowBytes, line, pictureBytes);
  }
}

// Into the capture bitmap (bottom-up rows of CaptureRowBytes) unless topDownRowBytes names the
// row length of a top-down image.
void ConvertFrame(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels,
                  RowFn row, size_t topDownRowBytes = 0) {
  if (dest == nullptr || frame == nullptr) return;
  const FrameGeometry g = Geometry(cisType);
  const int a = showBoundaryPixels ? 0 : g.b;
  const int side = g.n - 2 * a;
  const bool topDown = topDownRowBytes != 0;
  const size_t rowBytes = topDown ? topDownRowBytes : size_t(CaptureRowBytes(side));
  // Whole pixel pairs only: a 40K picture with the boundary hidden starts at column 0.
  const int firstPair = a / 2;
  const int pairs = (g.n - a) / 2 - firstPair;
  const size_t frameRowBytes = size_t(g.n) * 4;
  for (int i = 0; i < side; ++i) {
    row(frame + size_t(a + i) * frameRowBytes + size_t(firstPair) * 8, pairs,
        dest + size_t(topDown ? i : side - 1 - i) * rowBytes);
  }
}

// Fills picture rectangle [x0, x1) x [y0, y1), clipped to the bitmap.
void FillRect(uint8_t* display, int x0, int y0, int x1, int y1, uint32_t colour) {
  if (display == nullptr) return;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, kDisplaySide);
  y1 = std::min(y1, kDisplaySide);
  if (x0 >= x1 || y0 >= y1) return;
  // The first row pixel by pixel, the others copied from it.
  const size_t bytes = size_t(x1 - x0) * 3;
  uint8_t* first = display + size_t(kDisplaySide - 1 - y0) * kDisplayRowBytes + size_t(x0) * 3;
  for (size_t i = 0; i < bytes; i += 3) {
    first[i] = uint8_t(colour);
    first[i + 1] = uint8_t(colour >> 8);
    first[i + 2] = uint8_t(colour >> 16);
  }
  for (int y = y0 + 1; y < y1; ++y)
    std::memcpy(first - size_t(y - y0) * kDisplayRowBytes, first, bytes);
}

void SetPixel(uint8_t* display, int x, int y, uint32_t colour) {
  FillRect(display, x, y, x + 1, y + 1, colour);
}

// A pen line of width 1 from (x0, y0) towards (x1, y1); like a drawn line segment on the
// platform, the end point itself is not drawn.
void Line(uint8_t* display, int x0, int y0, int x1, int y1, uint32_t colour) {
  const int dx = std::abs(x1 - x0);
  const int dy = std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int err = dx - dy;
  int x = x0;
  int y = y0;
  while (x != x1 || y != y1) {
    SetPixel(display, x, y, colour);
    const int e2 = 2 * err;
    if (e2 > -dy) {
      err -= dy;
      x += sx;
    }
    if (e2 < dx) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace

int CheckFrame(const uint8_t* frame, uint32_t length, int cisType) {
  if (frame == nullptr || length != FrameBytes(cisType)) return 1;
  const uint8_t* last = frame + length - 4;
  if (Word(frame) != 0xFF00 || Word(frame + 2) != 0x0080 || Word(last) != 0xFF00 ||
      Word(last + 2) != 0x009D) {
    return 2;
  }
  return 0;
}

void RenderColour(const uint8_t* frame, int cisType, int zoom, uint8_t* display, int dirtySide) {
  switch (SaneZoom(zoom)) {
    case 2:
      return RenderFrame(frame, cisType, 2, display, ColourRow<2>, dirtySide);
    case 4:
      return RenderFrame(frame, cisType, 4, display, ColourRow<4>, dirtySide);
    default:
      return RenderFrame(frame, cisType, 1, display, ColourRow<1>, dirtySide);
  }
}

void RenderMono(const uint8_t* frame, int cisType, int zoom, uint8_t* display, int dirtySide) {
  switch (SaneZoom(zoom)) {
    case 2:
      return RenderFrame(frame, cisType, 2, display, MonoRow<2>, dirtySide);
    case 4:
      return RenderFrame(frame, cisType, 4, display, MonoRow<4>, dirtySide);
    default:
      return RenderFrame(frame, cisType, 1, display, MonoRow<1>, dirtySide);
  }
}

void BlankBoundary(int cisType, int zoom, uint8_t* display) {
  const FrameGeometry g = Geometry(cisType);
  const int z = SaneZoom(zoom);
  const int side = g.n * z;
  const int edge = g.b * z;
  FillRect(display, 0, 0, side, edge, kBlack);
  FillRect(display, 0, side - edge, side, side, kBlack);
  FillRect(display, 0, 0, edge, side, kBlack);
  FillRect(display, side - edge, 0, side, side, kBlack);
}

void BgrToArgb32(const uint8_t* bgr, int count, uint32_t* argb) {
  if (bgr == nullptr || argb == nullptr) return;
  int x = 0;
#if QEL_LIVE_SSSE3
  if (Allowed(KernelLevel::Ssse3) && HasSsse3()) x = BgrToArgb32Vector(bgr, count, argb);
#endif
  for (; x < count; ++x) {
    argb[x] =
        0xFF000000u | uint32_t(bgr[3 * x + 2]) << 16 | uint32_t(bgr[3 * x + 1]) << 8 | bgr[3 * x];
  }
}

void UseKernels(KernelLevel level) {
  kernelLevel.store(static_cast<int>(level), std::memory_order_relaxed);
}

void ConvertColour(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels) {
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, ColourRow<1>);
}

void ConvertMono(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels) {
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, MonoRow<1>);
}

void ConvertColourTopDown(uint8_t* dest, size_t rowBytes, const uint8_t* frame, int cisType,
                          bool showBoundaryPixels) {
  if (rowBytes == 0) return;
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, ColourRow<1>, rowBytes);
}

void ConvertMonoTopDown(uint8_t* dest, size_t rowBytes, const uint8_t* frame, int cisType,
                        bool showBoundaryPixels) {
  if (rowBytes == 0) return;
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, MonoRow<1>, rowBytes);
}

void DrawDefectOverlay(uint8_t* display, int cisType, int zoom, int excludedArea,
                       const uint8_t defectTable[kDefectTableBytes]) {
  const FrameGeometry g = Geometry(cisType);
  const int z = SaneZoom(zoom);
  const int b = g.b;
  const int e = std::clamp(excludedArea, 0, g.n);  // keeps the corner arithmetic in range
  const int m = g.n - b;
  Line(display, b * z, (e + b) * z, (e + b) * z, b * z, kBlue);
  Line(display, (m - e) * z, b * z, m * z, (e + b) * z, kBlue);
  Line(display, b * z, (m - e) * z, (e + b) * z, m * z, kBlue);
  Line(display, (m - e) * z, m * z, m * z, (m - e) * z, kBlue);

  if (defectTable == nullptr) return;
  for (int i = 0; i < kDefectTableEntries; ++i) {
    const uint8_t* entry = defectTable + 4 * i;
    const int x = entry[0] << 8 | entry[1];
    const int y = entry[2] << 8 | entry[3];
    FillRect(display, x * z, y * z, x * z + z, y * z + z, kYellow);
  }
}

void PaintNoSignal(uint8_t* display) {
  if (display == nullptr) return;
  FillRect(display, 0, 0, kDisplaySide, 1, kBlue);
  const uint8_t* first = display + size_t(kDisplaySide - 1) * kDisplayRowBytes;
  for (int row = 0; row < kDisplaySide - 1; ++row) {
    std::memcpy(display + size_t(row) * kDisplayRowBytes, first, kDisplayRowBytes);
  }
}

}  // namespace live
