// Frame check, colour and monochrome conversion, boundary blanking and the drawn overlays of the
// display bitmap; plain integer kernels over caller-owned buffers.
#include "viewer/live/Render.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// QEL_LIVE_SCALAR builds the plain kernels only (they serve machines without SSE2).
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(QEL_LIVE_SCALAR)
#include <emmintrin.h>
#define QEL_LIVE_SSE2 1
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

#if QEL_LIVE_SSE2

// Four pixels as 32-bit blue | green << 8 | red << 16 lanes squeezed into 12 contiguous bytes.
inline __m128i Pack12(__m128i px) {
  const __m128i low24 = _mm_set1_epi64x(0x0000000000FFFFFF);
  const __m128i high24 = _mm_set1_epi64x(0x0000FFFFFF000000);
  const __m128i six = _mm_set_epi64x(0, 0x0000FFFFFFFFFFFF);
  const __m128i t =
      _mm_or_si128(_mm_and_si128(px, low24), _mm_and_si128(_mm_srli_epi64(px, 8), high24));
  return _mm_or_si128(_mm_and_si128(t, six), _mm_andnot_si128(six, _mm_srli_si128(t, 2)));
}

// Stores four pixels, each repeated Z times, as 12 x Z bytes. Writes up to 4 bytes beyond them,
// so a later store must cover those.
template <int Z>
inline void PutFour(uint8_t*& out, __m128i px) {
  auto put = [&out](__m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Pack12(v));
    out += 12;
  };
  if constexpr (Z == 1) {
    put(px);
  } else if constexpr (Z == 2) {
    put(_mm_unpacklo_epi32(px, px));
    put(_mm_unpackhi_epi32(px, px));
  } else {
    put(_mm_shuffle_epi32(px, 0x00));
    put(_mm_shuffle_epi32(px, 0x55));
    put(_mm_shuffle_epi32(px, 0xAA));
    put(_mm_shuffle_epi32(px, 0xFF));
  }
}

// Four colour pairs (eight pixels). The large coefficients do not fit the 16-bit multiplier, so
// they are split exactly: 91,894 = 65,536 + 26,358; -46,825 = -65,536 + 18,711;
// 116,064 = 131,072 - 15,008. Since L is luma << 16, (L + P) >> 20 equals
// (luma + (P >> 16)) >> 4 exactly, which lets the per-pixel work run on 16-bit lanes; the
// saturating pack clamps to 0..255.
template <int Z>
inline void ColourEight(const uint8_t* src, uint8_t*& out) {
  const __m128i hi16 = _mm_set1_epi32(int32_t(0xFFFF0000));
  const __m128i lo16 = _mm_set1_epi32(0x0000FFFF);
  const __m128i a = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src)), 4);
  const __m128i b = _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16)), 4);
  const __m128i luma = _mm_packs_epi32(_mm_srli_epi32(a, 16), _mm_srli_epi32(b, 16));
  // u | v << 16 per pair, u and v signed 16-bit.
  const __m128i uv = _mm_sub_epi16(_mm_packs_epi32(_mm_and_si128(a, lo16), _mm_and_si128(b, lo16)),
                                   _mm_set1_epi16(2048));
  const __m128i vHigh = _mm_and_si128(uv, hi16);  // 65,536 v
  const __m128i redPart = _mm_add_epi32(vHigh, _mm_madd_epi16(uv, _mm_set1_epi32(26358 << 16)));
  const __m128i greenPart =
      _mm_sub_epi32(_mm_madd_epi16(uv, _mm_set1_epi32(18711 << 16 | (-22649 & 0xFFFF))), vHigh);
  const __m128i bluePart =
      _mm_add_epi32(_mm_slli_epi32(uv, 17), _mm_madd_epi16(uv, _mm_set1_epi32(-15008 & 0xFFFF)));
  // The high half of each pair's 32-bit part is part >> 16; copying it into the low half gives
  // both pixels of the pair their share.
  auto channel = [&luma](__m128i part) {
    const __m128i shared = _mm_shufflehi_epi16(_mm_shufflelo_epi16(part, 0xF5), 0xF5);
    return _mm_srai_epi16(_mm_add_epi16(luma, shared), 4);
  };
  const __m128i blueGreen = _mm_packus_epi16(channel(bluePart), channel(greenPart));
  const __m128i red = _mm_packus_epi16(channel(redPart), _mm_setzero_si128());
  const __m128i bg = _mm_unpacklo_epi8(blueGreen, _mm_srli_si128(blueGreen, 8));
  const __m128i r0 = _mm_unpacklo_epi8(red, _mm_setzero_si128());
  PutFour<Z>(out, _mm_unpacklo_epi16(bg, r0));
  PutFour<Z>(out, _mm_unpackhi_epi16(bg, r0));
}

// Eight raw pixels: the fourth byte of each becomes a grey pixel.
template <int Z>
inline void MonoEight(const uint8_t* src, uint8_t*& out) {
  for (int half = 0; half < 2; ++half) {
    const __m128i v =
        _mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16 * half)), 24);
    PutFour<Z>(out, _mm_or_si128(_mm_or_si128(v, _mm_slli_epi32(v, 8)), _mm_slli_epi32(v, 16)));
  }
}

#endif

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

#if QEL_LIVE_SSE2
// Groups of four pairs. The last group is placed to end exactly at the row's end (repeating up
// to three pairs already written) and goes through a scratch block, so its wide store stays
// inside the row and covers the bytes the previous group's store ran over.
template <int Z, bool Mono>
void VectorRow(const uint8_t* src, int pairs, uint8_t* out) {
  auto eight = [](const uint8_t* from, uint8_t*& to) {
    if constexpr (Mono) {
      MonoEight<Z>(from, to);
    } else {
      ColourEight<Z>(from, to);
    }
  };
  if (pairs < 4) {
    if constexpr (Mono) {
      MonoRowScalar<Z>(src, pairs, out);
    } else {
      ColourRowScalar<Z>(src, pairs, out);
    }
    return;
  }
  int p = 0;
  for (; p + 4 < pairs; p += 4) eight(src + 8 * p, out);
  const int back = 4 - (pairs - p);
  alignas(16) uint8_t last[24 * Z + 16];
  uint8_t* scratch = last;
  eight(src + 8 * (pairs - 4), scratch);
  std::memcpy(out - 6 * Z * back, last, 24 * Z);
}

template <int Z>
void ColourRow(const uint8_t* src, int pairs, uint8_t* out) {
  VectorRow<Z, false>(src, pairs, out);
}

template <int Z>
void MonoRow(const uint8_t* src, int pairs, uint8_t* out) {
  VectorRow<Z, true>(src, pairs, out);
}
#else
template <int Z>
void ColourRow(const uint8_t* src, int pairs, uint8_t* out) {
  ColourRowScalar<Z>(src, pairs, out);
}

template <int Z>
void MonoRow(const uint8_t* src, int pairs, uint8_t* out) {
  MonoRowScalar<Z>(src, pairs, out);
}
#endif

using RowFn = void (*)(const uint8_t*, int, uint8_t*);

// Converts the frame row by row, each converted row copied into the z - 1 picture rows below it;
// only the bitmap area the picture does not cover is cleared.
void RenderFrame(const uint8_t* frame, int cisType, int z, uint8_t* display, RowFn row) {
  if (frame == nullptr || display == nullptr) return;
  const int n = Geometry(cisType).n;
  const int count = std::min(n, kDisplaySide / z);  // whole source pixels that fit per side
  const int side = count * z;
  const size_t pictureBytes = size_t(side) * 3;
  const size_t frameRowBytes = size_t(n) * 4;

  std::memset(display, 0, size_t(kDisplaySide - side) * kDisplayRowBytes);
  for (int r = 0; r < count; ++r) {
    uint8_t* line = display + size_t(kDisplaySide - 1 - r * z) * kDisplayRowBytes;
    row(frame + r * frameRowBytes, count / 2, line);
    std::memset(line + pictureBytes, 0, kDisplayRowBytes - pictureBytes);
    for (int k = 1; k < z; ++k)
      std::memcpy(line - size_t(k) * kDisplayRowBytes, line, kDisplayRowBytes);
  }
}

void ConvertFrame(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels,
                  RowFn row) {
  if (dest == nullptr || frame == nullptr) return;
  const FrameGeometry g = Geometry(cisType);
  const int a = showBoundaryPixels ? 0 : g.b;
  const int side = g.n - 2 * a;
  const size_t rowBytes = size_t(CaptureRowBytes(side));
  // Whole pixel pairs only: a 40K picture with the boundary hidden starts at column 0.
  const int firstPair = a / 2;
  const int pairs = (g.n - a) / 2 - firstPair;
  const size_t frameRowBytes = size_t(g.n) * 4;
  for (int i = 0; i < side; ++i) {
    row(frame + size_t(a + i) * frameRowBytes + size_t(firstPair) * 8, pairs,
        dest + size_t(side - 1 - i) * rowBytes);
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
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = display + size_t(kDisplaySide - 1 - y) * kDisplayRowBytes + size_t(x0) * 3;
    for (int x = x0; x < x1; ++x) {
      *p++ = uint8_t(colour);
      *p++ = uint8_t(colour >> 8);
      *p++ = uint8_t(colour >> 16);
    }
  }
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

void RenderColour(const uint8_t* frame, int cisType, int zoom, uint8_t* display) {
  switch (SaneZoom(zoom)) {
    case 2:
      return RenderFrame(frame, cisType, 2, display, ColourRow<2>);
    case 4:
      return RenderFrame(frame, cisType, 4, display, ColourRow<4>);
    default:
      return RenderFrame(frame, cisType, 1, display, ColourRow<1>);
  }
}

void RenderMono(const uint8_t* frame, int cisType, int zoom, uint8_t* display) {
  switch (SaneZoom(zoom)) {
    case 2:
      return RenderFrame(frame, cisType, 2, display, MonoRow<2>);
    case 4:
      return RenderFrame(frame, cisType, 4, display, MonoRow<4>);
    default:
      return RenderFrame(frame, cisType, 1, display, MonoRow<1>);
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

void ConvertColour(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels) {
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, ColourRow<1>);
}

void ConvertMono(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels) {
  ConvertFrame(dest, frame, cisType, showBoundaryPixels, MonoRow<1>);
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
