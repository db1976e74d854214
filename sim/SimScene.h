// The picture of the simulated unit: a moving colour test scene processed by the image pipeline
// parameters, a flat-field raw view with stuck pixels, and the cheap per-frame assembly.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// Frame geometry of a head type: N pixels per side with a ring of B boundary pixels around the
// S x S image.
struct FrameGeometry {
  int n = 0;
  int border = 0;
  int s = 0;
  uint32_t bytes = 0;
};
FrameGeometry Geometry(int cisType);

// A defect of the sensor: full-frame coordinates and whether it is stuck bright.
struct StuckPixel {
  int x = 0;
  int y = 0;
  bool bright = false;
};
const std::vector<StuckPixel>& StuckPixels(int cisType);

// Everything of the active register bank (and the tables) that shapes the picture.
struct SceneParams {
  int cisType = 0;
  int dataFormat = 0;
  double signalScale = 0;  // 12-bit level of scene radiance 1.0 (light x exposure x gain)
  int blackLevel = 0;
  int flip = 0;
  int rotation = 0;
  int gamma = 0;
  int gainR = 0;  // signed register values, 0.0352 dB per step
  int gainB = 0;
  std::array<int, 9> matrix{};  // 128 = 1.0
  std::array<int, 3> gainYC{};
  std::array<uint16_t, 3 * 4096> gammaTables{};
  int noiseReduction = 0;   // 0 off, 1..15 stronger smoothing of the luma
  int edgeEnhancement = 0;  // 0 off, 1..15 stronger sharpening of the luma
  bool dpCorrection = false;
  std::array<uint16_t, 128> dpTables{};  // registers 0x100..0x13F then 0x200..0x23F
};

// Scroll position of the moving scene, in sensor pixels (even, so chroma pairs stay aligned).
int SceneOffset(int cisType, std::chrono::steady_clock::duration sinceEpoch);

// Mean radiance (0..1) the sensor sees in the automatic-control area (0 all, 1..7 a centred
// square of 1/8 .. 7/8 of the side; outside = the rest) for the given data format and offset.
double MeanRadiance(int cisType, int dataFormat, int area, bool outside, int offset);

// Builds frames from a texture rendered only when the parameters change, so a frame costs a
// few row copies. Not thread-safe; the unit serialises its use.
class FrameBuilder {
 public:
  // True when the texture must be re-rendered for this parameter version.
  bool NeedsRender(uint64_t version, int cisType, int dataFormat,
                   std::chrono::steady_clock::time_point now) const;
  void Render(const SceneParams& params, uint64_t version,
              std::chrono::steady_clock::time_point now);
  // Writes the frame at scroll offset into out (at most size bytes); returns the frame length.
  uint32_t Build(uint8_t* out, uint32_t size, int offset, bool wrongMarkers);

 private:
  void BuildInto(uint8_t* out, int offset, bool wrongMarkers) const;
  void FilterLuma(int noiseReduction, int edgeEnhancement);

  bool rendered_ = false;
  uint64_t version_ = 0;
  int cisType_ = 0;
  int dataFormat_ = 0;
  std::chrono::steady_clock::time_point renderedAt_{};
  std::chrono::steady_clock::duration renderCost_{};
  FrameGeometry geo_{};
  bool vertical_ = false;              // the scene moves along the frame's rows after rotation
  bool reverse_ = false;               // ... against the axis direction
  bool raw_ = false;                   // raw frames stand still
  std::vector<uint32_t> texture_;      // S x S interior pixels, word 0 in the low half
  std::vector<uint16_t> otherChroma_;  // per interior pixel the chroma word it does not carry
  std::vector<float> luma_;            // scratch of the luma filters
  std::vector<uint32_t> ring_;         // one row of boundary pixels
  std::vector<std::array<uint32_t, 2>> patches_;  // frame pixel index, stuck value of word 1
  std::vector<uint8_t> staging_;                  // whole frame when the caller's buffer is short
};

}  // namespace sim
