// Automatic control of the simulated unit (gain, exposure, light) at frame rate, and the
// operations that report busy for a while (one-push white balance, FPN acquisition, detection).
#include <algorithm>
#include <cmath>

#include "sim/SimScene.h"
#include "sim/SimUnit.h"

namespace sim {
namespace {

constexpr int kRegGainMode = 0x00;
constexpr int kRegLightMode = 0x01;
constexpr int kRegBlackLevel = 0x02;
constexpr int kRegExposure = 0x03;
constexpr int kRegGain = 0x04;
constexpr int kRegAgcTarget = 0x05;
constexpr int kRegHysteresisA1 = 0x06;
constexpr int kRegHysteresisB1 = 0x08;
constexpr int kRegSpeed = 0x0A;
constexpr int kRegArea = 0x0B;
constexpr int kRegAreaOutside = 0x0C;
constexpr int kRegMinLight = 0x0D;
constexpr int kRegAlcParam = 0x0E;
constexpr int kRegLight = 0x0F;
constexpr int kRegAwb = 0x10;
constexpr int kRegGainRed = 0x11;
constexpr int kRegGainBlue = 0x12;
constexpr int kRegMatrix = 0x13;
constexpr int kRegGainYC = 0x1C;
constexpr int kRegAlcTarget = 0x1F;
constexpr int kRegImage = 0x20;
constexpr int kRegFilters = 0x21;  // noise reduction (L0), edge enhancement (L1)
constexpr int kRegCorrection = 0x23;

constexpr int kExposureMax = 438;
constexpr int kGainMin = 16;
constexpr int kGainMax = 255;
constexpr int kLightMax = 1023;
// Light output while light control is off, and the sensor's response: with the defaults
// (gain x8, full exposure) a white of radiance 1 lands near the top of the 12-bit range.
constexpr double kLightOff = 0.75;
constexpr double kSensitivity = 0.147;
// Gains the one-push white balance settles on for the simulated scene's warm light.
constexpr int kAwbRed = -19;
constexpr int kAwbBlue = 21;

int SignMagnitude(uint16_t v) {
  return (v & 0x100) ? -(v & 0xFF) : (v & 0xFF);
}
uint16_t ToSignMagnitude(int v) {
  return static_cast<uint16_t>((v < 0 ? 0x100 : 0) | (std::abs(v) & 0xFF));
}
int NineBit(uint16_t v) {
  return (v & 0xFF) - ((v & 0x100) ? 256 : 0);
}

// One proportional step of value toward ratio x value, at least one unit, within [lo, hi].
int StepToward(int value, double ratio, double alpha, int lo, int hi) {
  ratio = std::clamp(ratio, 0.5, 2.0);
  double next = value * (1.0 + (ratio - 1.0) * alpha);
  int moved = static_cast<int>(std::lround(next));
  if (moved == value) moved += ratio > 1.0 ? 1 : -1;
  if (value == 0 && ratio > 1.0) moved = std::max(moved, 1);
  return std::clamp(moved, lo, hi);
}

}  // namespace

double Unit::SignalScaleLocked(int bank) const {
  const uint32_t base = bank * 0x80;
  const int lightMode = regs_[base + kRegLightMode];
  const double light = lightMode == 0 ? kLightOff
                                      : std::min<int>(regs_[base + kRegLight], kLightMax) /
                                            static_cast<double>(kLightMax);
  // A 40K head has a fixed exposure; its exposure register has no effect.
  const double exposure =
      head_ == 1 ? std::min<int>(regs_[base + kRegExposure], kExposureMax) / 400.0 : 1.0;
  const double gain = (regs_[base + kRegGain] & 0xFF) / 16.0;
  return 4095.0 * kSensitivity * light * exposure * gain;
}

double Unit::MeasuredLevelLocked(int offset) const {
  const int bank = ActiveBankLocked();
  const uint32_t base = bank * 0x80;
  const int format = statusItems_[2 * 3 + 1] == 1 ? 1 : 0;
  const double mean = MeanRadiance(head_, format, regs_[base + kRegArea] & 7,
                                   regs_[base + kRegAreaOutside] != 0, offset);
  const double level = mean * SignalScaleLocked(bank) + regs_[base + kRegBlackLevel] * 4.0;
  return std::clamp(level, 1.0, 4095.0);
}

void Unit::SetAutoRegisterLocked(int bank, int reg, uint16_t value) {
  const uint32_t n = bank * 0x80 + reg;
  if (regs_[n] == value) return;
  regs_[n] = value;
  changeMask_[bank] |= uint64_t{1} << reg;
  ++sceneVersion_;
}

void Unit::FinishAwbLocked(int bank) {
  SetAutoRegisterLocked(bank, kRegGainRed, ToSignMagnitude(kAwbRed));
  SetAutoRegisterLocked(bank, kRegGainBlue, ToSignMagnitude(kAwbBlue));
  regs_[bank * 0x80 + kRegAwb] = 0;
  changeMask_[bank] |= uint64_t{1} << kRegAwb;
}

void Unit::AdvanceLocked(Clock::time_point now) {
  for (int bank = 0; bank < 2; ++bank) {
    if (awb_[bank].active && now >= awb_[bank].at) {
      awb_[bank].active = false;
      FinishAwbLocked(bank);
    }
    if (fpn_[bank].active && now >= fpn_[bank].at) {
      fpn_[bank].active = false;
      uint16_t& reg = regs_[bank * 0x80 + kRegCorrection];
      reg = static_cast<uint16_t>(reg & ~0x0F00);
      changeMask_[bank] |= uint64_t{1} << kRegCorrection;
    }
  }
  if (detect_.active && now >= detect_.at) {
    detect_.active = false;
    regs_[0xF8] = 0;
  }

  // Automatic control runs once per frame period of the unit, whether or not the host reads.
  if (head_ == kNoHead || now <= lastAutoStep_) {
    lastAutoStep_ = std::max(lastAutoStep_, now);
    return;
  }
  const Clock::duration period = FramePeriodLocked();
  int64_t steps = (now - lastAutoStep_) / period;
  if (steps <= 0) return;
  constexpr int64_t kMaxCatchUp = 64;
  if (steps > kMaxCatchUp) {
    steps = kMaxCatchUp;
    lastAutoStep_ = now;
  } else {
    lastAutoStep_ += steps * period;
  }
  const int offset = SceneOffset(head_, now - epoch_);
  for (int64_t i = 0; i < steps; ++i) AutoStepLocked(offset);
}

void Unit::AutoStepLocked(int offset) {
  const int bank = ActiveBankLocked();
  const uint32_t base = bank * 0x80;
  const int gainMode = regs_[base + kRegGainMode];
  const int lightMode = regs_[base + kRegLightMode];
  // Gain/exposure mode: a 40K head has a fixed exposure and any non-zero mode is AGC; on a 160K
  // head 1 is manual gain with automatic exposure and anything higher AGC with AEC.
  // Light mode: 0 off (fixed output), 1 ALC, 2 manual level.
  const bool aec = head_ == 1 && gainMode >= 1;
  const bool agc = head_ == 1 ? gainMode >= 2 : gainMode != 0;
  const bool alc = lightMode == 1;
  if (!aec && !agc && !alc) return;

  const double alpha = ((regs_[base + kRegSpeed] & 7) + 1) / 16.0;
  const int alcTarget = std::clamp<int>(regs_[base + kRegAlcTarget], 1, 4095);
  const int agcTarget = std::clamp<int>(regs_[base + kRegAgcTarget], 1, 4095);
  auto deadBand = [](int target, int hysteresis) {
    return std::max({hysteresis, 16, target / 32});
  };

  bool lightPinned = !alc;
  if (alc) {
    const double level = MeasuredLevelLocked(offset);
    const int light = std::min<int>(regs_[base + kRegLight], kLightMax);
    const int floor = std::min<int>(regs_[base + kRegMinLight], kLightMax);
    const double err = alcTarget - level;
    if (std::fabs(err) > deadBand(alcTarget, regs_[base + kRegHysteresisB1])) {
      const double loop = (regs_[base + kRegAlcParam] & 0xFF) / 24.0;
      const int next = StepToward(std::max(light, floor), alcTarget / level,
                                  std::min(1.0, alpha * loop), floor, kLightMax);
      SetAutoRegisterLocked(bank, kRegLight, static_cast<uint16_t>(next));
      lightPinned = next == light && (next == floor || next == kLightMax);
    } else if (light < floor) {
      SetAutoRegisterLocked(bank, kRegLight, static_cast<uint16_t>(floor));
    }
  }
  if (!aec && !agc) return;
  // With AGC and ALC together the light leads, toward the ALC target; gain and exposure take
  // over only when the light is at its limit.
  const bool combined = alc && agc;
  if (combined && !lightPinned) return;
  const int target = combined ? alcTarget : agcTarget;
  const double level = MeasuredLevelLocked(offset);
  if (std::fabs(target - level) <= deadBand(target, regs_[base + kRegHysteresisA1])) return;
  const double ratio = target / level;
  const int exposure = std::min<int>(regs_[base + kRegExposure], kExposureMax);
  const int gain = std::clamp<int>(regs_[base + kRegGain] & 0xFF, kGainMin, kGainMax);
  // Brighter: exposure first, then gain. Darker: gain first, then exposure.
  const bool exposureFirst = ratio > 1.0;
  const bool canExpose = aec && (ratio > 1.0 ? exposure < kExposureMax : exposure > 0);
  const bool canGain = agc && (ratio > 1.0 ? gain < kGainMax : gain > kGainMin);
  if (canExpose && (exposureFirst || !canGain)) {
    SetAutoRegisterLocked(
        bank, kRegExposure,
        static_cast<uint16_t>(StepToward(exposure, ratio, alpha, 0, kExposureMax)));
  } else if (canGain) {
    SetAutoRegisterLocked(
        bank, kRegGain, static_cast<uint16_t>(StepToward(gain, ratio, alpha, kGainMin, kGainMax)));
  }
}

void Unit::FillSceneParamsLocked(SceneParams& p) const {
  const int bank = ActiveBankLocked();
  const uint32_t base = bank * 0x80;
  p.signalScale = SignalScaleLocked(bank);
  p.blackLevel = regs_[base + kRegBlackLevel] & 0xFF;
  const uint16_t image = regs_[base + kRegImage];
  p.gamma = image & 0xF;
  p.flip = (image >> 4) & 0xF;
  p.rotation = (image >> 8) & 0xF;
  p.gainR = SignMagnitude(regs_[base + kRegGainRed]);
  p.gainB = SignMagnitude(regs_[base + kRegGainBlue]);
  for (int i = 0; i < 9; ++i) p.matrix[i] = NineBit(regs_[base + kRegMatrix + i]);
  for (int i = 0; i < 3; ++i) p.gainYC[i] = SignMagnitude(regs_[base + kRegGainYC + i]);
  std::copy(regs_.begin() + 0xC000, regs_.begin() + 0xC000 + 3 * 4096, p.gammaTables.begin());
  const uint16_t filters = regs_[base + kRegFilters];
  p.noiseReduction = filters & 0xF;
  p.edgeEnhancement = (filters >> 4) & 0xF;
  p.dpCorrection = (regs_[base + kRegCorrection] & 0xF) != 0;
  std::copy(regs_.begin() + 0x100, regs_.begin() + 0x140, p.dpTables.begin());
  std::copy(regs_.begin() + 0x200, regs_.begin() + 0x240, p.dpTables.begin() + 64);
}

}  // namespace sim
