// Frame kernels of the live view: frame check, colour and monochrome conversion into the display
// bitmap and the capture bitmap, boundary blanking and the overlays drawn into the display bitmap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace live {

// Display bitmap: 808 x 808 pixels, bottom-up rows of blue, green, red bytes. Picture row y (from
// the top) is memory row 807 - y.
constexpr int kDisplaySide = 808;
constexpr int kDisplayRowBytes = kDisplaySide * 3;
constexpr size_t kDisplayBytes = size_t{kDisplayRowBytes} * kDisplaySide;

constexpr size_t kDefectTableBytes = 128;
constexpr int kDefectTableEntries = 32;

// Frame side n (pixels) and boundary width b of a head type; any type other than 0 is a 160K head.
struct FrameGeometry {
  int n;
  int b;
};

constexpr FrameGeometry Geometry(int cisType) {
  return cisType == 0 ? FrameGeometry{202, 1} : FrameGeometry{404, 2};
}

constexpr size_t FrameBytes(int cisType) {
  const int n = Geometry(cisType).n;
  return size_t(n) * size_t(n) * 4;
}

// zoomIndex 0, 1, 2 gives 100, 200, 400 %; anything else falls back to 100 %.
constexpr int ZoomFactor(int zoomIndex) {
  return zoomIndex == 1 ? 2 : zoomIndex == 2 ? 4 : 1;
}

// Side of the top-left square the render functions fill with the picture: N x zoom, cut at the
// bitmap's edge (zoom factors other than 2 and 4 count as 1).
constexpr int PictureSide(int cisType, int zoom) {
  const int z = zoom == 2 || zoom == 4 ? zoom : 1;
  const int n = Geometry(cisType).n;
  return (n < kDisplaySide / z ? n : kDisplaySide / z) * z;
}

// Side of the capture bitmap: the whole frame while boundary pixels are shown, the image otherwise.
constexpr int CaptureSide(int cisType, bool showBoundaryPixels) {
  const FrameGeometry g = Geometry(cisType);
  return showBoundaryPixels ? g.n : g.n - 2 * g.b;
}

// Capture bitmap rows are 3 bytes per pixel, padded to a multiple of 4.
constexpr int CaptureRowBytes(int side) {
  return (side * 3 + 3) & ~3;
}

constexpr size_t CaptureBytes(int cisType, bool showBoundaryPixels) {
  const int side = CaptureSide(cisType, showBoundaryPixels);
  return size_t(CaptureRowBytes(side)) * size_t(side);
}

// 0 usable, 1 wrong length for the head type (or no frame at all), 2 wrong marker words.
int CheckFrame(const uint8_t* frame, uint32_t length, int cisType);

// Convert a whole frame (FrameBytes(cisType) bytes) into the display bitmap, each pixel a
// zoom x zoom block in the top-left corner; the rest of the bitmap becomes black. zoom is a zoom
// factor (1, 2 or 4; other values count as 1); a picture larger than the bitmap is cut at its
// edges. The caller may say that the bitmap is black outside its top-left dirtySide square
// already (say, the side it rendered there last, with nothing drawn beyond), so that only the
// rest of that square is cleared.
void RenderColour(const uint8_t* frame, int cisType, int zoom, uint8_t* display,
                  int dirtySide = kDisplaySide);
void RenderMono(const uint8_t* frame, int cisType, int zoom, uint8_t* display,
                int dirtySide = kDisplaySide);

// Blacken the boundary ring (b x zoom pixels wide) of the picture the render functions drew.
void BlankBoundary(int cisType, int zoom, uint8_t* display);

// Convert a frame at its own size into a capture bitmap of CaptureBytes(cisType,
// showBoundaryPixels) bytes. Row padding is left untouched. With the boundary hidden the columns
// are taken in whole pixel pairs, so a 40K picture shows frame columns 0..199.
void ConvertColour(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels);
void ConvertMono(uint8_t* dest, const uint8_t* frame, int cisType, bool showBoundaryPixels);

// The same pixels as ConvertColour and ConvertMono, written top-down in rows of rowBytes bytes
// (at least 3 x CaptureSide bytes; padding untouched) instead of the capture bitmap's bottom-up
// rows.
void ConvertColourTopDown(uint8_t* dest, size_t rowBytes, const uint8_t* frame, int cisType,
                          bool showBoundaryPixels);
void ConvertMonoTopDown(uint8_t* dest, size_t rowBytes, const uint8_t* frame, int cisType,
                        bool showBoundaryPixels);

// The level of pixel `index` of a raw frame, as the CSV export writes it: its second 16-bit
// little-endian word over 64.
inline int RawLevel(const uint8_t* frame, size_t index) {
  const uint8_t* pixel = frame + index * 4;
  return (pixel[2] | pixel[3] << 8) >> 6;
}

// Blue corner lines of the excluded area and a yellow zoom x zoom mark for each of the 32 entries
// of a defect pixel table (big-endian x, y per 4-byte entry), everything clipped to the bitmap.
void DrawDefectOverlay(uint8_t* display, int cisType, int zoom, int excludedArea,
                       const uint8_t defectTable[kDefectTableBytes]);

// Turns count bitmap pixels (blue, green, red bytes) into opaque 32-bit 0xAARRGGBB values, the
// form a painter copies without converting. Reads no byte beyond the count pixels.
void BgrToArgb32(const uint8_t* bgr, int count, uint32_t* argb);

// The row kernels in use: the best the processor offers, or a lower level so that tests can
// run every kernel on one machine. A level the processor lacks falls back to the next one down.
enum class KernelLevel { Scalar = 0, Ssse3 = 1, Avx2 = 2, Best = 3 };
void UseKernels(KernelLevel level);

// Fill the display bitmap with the blue of the no-signal picture.
void PaintNoSignal(uint8_t* display);

// "Usage Count Reaches Upper Limit", white on silver, with its top-left corner at picture
// position (275, 392). Needs a QGuiApplication; without one it draws nothing. The text is
// rendered once and cached; PrepareLimitNotice does that ahead of time (GUI thread, optional).
void PrepareLimitNotice();
void DrawLimitNotice(uint8_t* display);

}  // namespace live
