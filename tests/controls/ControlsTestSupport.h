// What the controls suite checks against: the unit's register map of the parameters (bank 0
// register of index 0 and the packing) and texts as comparable strings.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "viewer/picture/core/DeviceFunctions.h"

namespace controlstest {

using picture::Param;

enum class Pack { kPlain, kSignMagnitude, kNineBit, kL0, kL1, kH0, kH1 };
struct Place {
  int reg;  // -1: no register of the parameter map
  Pack pack;
};

inline Place PlaceOf(Param p) {
  switch (p) {
    case Param::kControlMode:
      return {0x00, Pack::kPlain};
    case Param::kBlackLevel:
      return {0x02, Pack::kPlain};
    case Param::kExposureTime:
      return {0x03, Pack::kPlain};
    case Param::kRawGain:
      return {0x04, Pack::kPlain};
    case Param::kAGC_AEC_Target:
      return {0x05, Pack::kPlain};
    case Param::kHysteresis:
      return {0x06, Pack::kPlain};
    case Param::kControlSpeed:
      return {0x0A, Pack::kPlain};
    case Param::kControlMonitor:
      return {0x0B, Pack::kPlain};
    case Param::kMinLightLevel:
      return {0x0D, Pack::kPlain};
    case Param::kALC_Param:
      return {0x0E, Pack::kPlain};
    case Param::kLightLevel:
      return {0x0F, Pack::kPlain};
    case Param::kAWB:
      return {0x10, Pack::kPlain};
    case Param::kGainRB:
      return {0x11, Pack::kSignMagnitude};
    case Param::kColorMatrix:
      return {0x13, Pack::kNineBit};
    case Param::kGainYC:
      return {0x1C, Pack::kSignMagnitude};
    case Param::kALC_Target:
      return {0x1F, Pack::kPlain};
    case Param::kGamma:
      return {0x20, Pack::kL0};
    case Param::kImageFlip:
      return {0x20, Pack::kL1};
    case Param::kImageRotation:
      return {0x20, Pack::kH0};
    case Param::kDVI_ImageSize:
      return {0x20, Pack::kH1};
    case Param::kNoiseReduction:
      return {0x21, Pack::kL0};
    case Param::kEdgeEnhancement:
      return {0x21, Pack::kL1};
    case Param::kVFPN_Corr:
      return {0x21, Pack::kH0};
    case Param::kDVI_Resolution:
      return {0x21, Pack::kH1};
    case Param::kCIS_ImageFineAdj:
      return {0x22, Pack::kL0};
    case Param::kDP_Corr:
      return {0x23, Pack::kL0};
    case Param::kFPN_Corr:
      return {0x23, Pack::kL1};
    case Param::kCIS_VoutCurrent:
      return {0x24, Pack::kL0};
    case Param::kCIS_ConnectionDet:
      return {0xF6, Pack::kPlain};
    case Param::kCIS_OverCurrentDet:
      return {0xF7, Pack::kPlain};
    default:
      return {-1, Pack::kPlain};
  }
}

inline int RegisterOf(picture::DeviceFunction f) {
  const int base = PlaceOf(f.param).reg;
  return base < 0 ? -1 : base + f.index;
}

// The value the register bytes (high byte first) hold for the packing.
inline int Decode(Pack pack, const unsigned char b[2]) {
  const int word = b[0] << 8 | b[1];
  switch (pack) {
    case Pack::kPlain:
      return word;
    case Pack::kSignMagnitude:
      return (b[0] & 1) ? -b[1] : b[1];
    case Pack::kNineBit:
      return b[1] - 256 * (b[0] & 1);
    case Pack::kL0:
      return word & 0xF;
    case Pack::kL1:
      return word >> 4 & 0xF;
    case Pack::kH0:
      return word >> 8 & 0xF;
    case Pack::kH1:
      return word >> 12 & 0xF;
  }
  return -1;
}

// Texts as strings, so matchers compare characters rather than pointers.
inline std::vector<std::string> Strings(std::span<const char* const> texts) {
  return {texts.begin(), texts.end()};
}

}  // namespace controlstest
