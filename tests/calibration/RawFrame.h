// Raw frames for the calibration tests: n x n pixels of two little-endian words each, the level
// in the second word.
#pragma once

#include <cstdint>
#include <vector>

#include "viewer/live/core/image/Render.h"

namespace caltest {

struct RawFrame {
  live::FrameGeometry g;
  std::vector<uint8_t> bytes;

  explicit RawFrame(int cisType, uint16_t word = 0)
      : g(live::Geometry(cisType)), bytes(live::FrameBytes(cisType)) {
    for (int y = 0; y < g.n; ++y) {
      for (int x = 0; x < g.n; ++x) SetWord(x, y, word);
    }
  }

  uint8_t* Pixel(int x, int y) { return bytes.data() + (size_t(y) * size_t(g.n) + size_t(x)) * 4; }
  void SetWord(int x, int y, uint16_t word) {
    Pixel(x, y)[2] = static_cast<uint8_t>(word);
    Pixel(x, y)[3] = static_cast<uint8_t>(word >> 8);
  }
  // The 8-bit level the defect scan reads: the high byte of the second word.
  void SetLevel8(int x, int y, uint8_t level) { Pixel(x, y)[3] = level; }
};

}  // namespace caltest
