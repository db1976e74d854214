// The picture of the simulated unit: a moving colour test scene processed by the image pipeline
// parameters, a flat-field raw view with stuck pixels, and the cheap per-frame assembly.
#include "sim/SimScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "usb/Protocol.h"

namespace sim {
namespace {

using std::chrono::steady_clock;

// A re-render costs a few milliseconds; while a control is being dragged (or automatic control
// moves the gain every frame) the picture follows at this interval.
constexpr auto kRenderInterval = std::chrono::milliseconds(30);

// The scene is lit slightly warm, so a one-push white balance has something to correct.
constexpr float kTintRed = 1.08f;
constexpr float kTintBlue = 0.92f;

uint32_t Pack(uint16_t word0, uint16_t word1) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(word0 & 0xFF), static_cast<uint8_t>(word0 >> 8),
                            static_cast<uint8_t>(word1 & 0xFF), static_cast<uint8_t>(word1 >> 8)};
  uint32_t v;
  std::memcpy(&v, bytes, 4);
  return v;
}

// The unprocessed scene of one head size, in sensor orientation, periodic along x.
struct BaseScene {
  int s = 0;
  std::vector<float> r, g, b, flat;
  // Luma column sums of each control area (rows of the area only) and totals, for the
  // automatic-control measurement of the moving scene and of the flat field.
  std::array<std::vector<double>, 8> areaColumns;
  std::array<std::vector<double>, 8> flatColumns;
};

float PeriodicDistance(float u, float centre) {
  float d = std::fabs(u - centre);
  return std::min(d, 1.0f - d);
}

void SceneColour(float u, float v, float& r, float& g, float& b) {
  static constexpr float kBars[8][3] = {
      {0.90f, 0.90f, 0.90f}, {0.90f, 0.90f, 0.10f}, {0.10f, 0.90f, 0.90f}, {0.10f, 0.85f, 0.10f},
      {0.85f, 0.10f, 0.85f}, {0.85f, 0.10f, 0.10f}, {0.10f, 0.10f, 0.85f}, {0.04f, 0.04f, 0.04f}};
  if (v < 0.30f) {  // colour bars
    const int bar = std::min(7, static_cast<int>(u * 8));
    r = kBars[bar][0];
    g = kBars[bar][1];
    b = kBars[bar][2];
  } else if (v < 0.45f) {  // grey staircase up and down again, so it wraps without a seam
    const float level = std::floor((1.0f - std::fabs(2.0f * u - 1.0f)) * 15.99f) / 15.0f;
    r = g = b = 0.02f + 0.93f * level;
  } else {  // a landscape with three discs and an F that shows flips and rotations
    const float t = (v - 0.45f) / 0.55f;
    r = 0.45f + 0.25f * t;
    g = 0.55f + 0.10f * t;
    b = 0.70f - 0.35f * t;
    struct Disc {
      float u, v, radius, r, g, b;
    };
    static constexpr Disc kDiscs[3] = {{0.12f, 0.70f, 0.10f, 0.85f, 0.15f, 0.10f},
                                       {0.62f, 0.80f, 0.09f, 0.15f, 0.75f, 0.20f},
                                       {0.85f, 0.62f, 0.08f, 0.15f, 0.25f, 0.85f}};
    for (const Disc& d : kDiscs) {
      const float du = PeriodicDistance(u, d.u);
      const float dv = v - d.v;
      if (du * du + dv * dv < d.radius * d.radius) {
        r = d.r;
        g = d.g;
        b = d.b;
      }
    }
    const bool stem = u >= 0.30f && u < 0.34f && v >= 0.55f && v < 0.92f;
    const bool top = u >= 0.30f && u < 0.46f && v >= 0.55f && v < 0.60f;
    const bool middle = u >= 0.30f && u < 0.42f && v >= 0.70f && v < 0.75f;
    if (stem || top || middle) {
      r = 0.95f;
      g = 0.92f;
      b = 0.30f;
    }
  }
  r *= kTintRed;
  b *= kTintBlue;
}

float Luma(float r, float g, float b) {
  return 0.299f * r + 0.587f * g + 0.114f * b;
}

// Rows (and, before scrolling, columns) [first, first + side) of control area a.
void AreaSpan(int s, int area, int& first, int& side) {
  side = area <= 0 || area > 7 ? s : s * area / 8;
  first = (s - side) / 2;
}

BaseScene MakeBase(int s) {
  BaseScene base;
  base.s = s;
  const size_t count = static_cast<size_t>(s) * s;
  base.r.resize(count);
  base.g.resize(count);
  base.b.resize(count);
  base.flat.resize(count);
  for (int y = 0; y < s; ++y) {
    for (int x = 0; x < s; ++x) {
      const size_t i = static_cast<size_t>(y) * s + x;
      SceneColour((x + 0.5f) / s, (y + 0.5f) / s, base.r[i], base.g[i], base.b[i]);
      // A uniform target seen through the lens: brightest in the centre.
      const float dx = (x + 0.5f) / s - 0.5f;
      const float dy = (y + 0.5f) / s - 0.5f;
      base.flat[i] = 0.85f * (1.0f - 0.6f * (dx * dx + dy * dy));
    }
  }
  for (int a = 0; a < 8; ++a) {
    int first, side;
    AreaSpan(s, a, first, side);
    base.areaColumns[a].assign(s, 0.0);
    base.flatColumns[a].assign(s, 0.0);
    for (int y = first; y < first + side; ++y) {
      for (int x = 0; x < s; ++x) {
        const size_t i = static_cast<size_t>(y) * s + x;
        base.areaColumns[a][x] += Luma(base.r[i], base.g[i], base.b[i]);
        base.flatColumns[a][x] += base.flat[i];
      }
    }
  }
  return base;
}

const BaseScene& Base(int cisType) {
  static const BaseScene small = MakeBase(200);
  static const BaseScene large = MakeBase(400);
  return cisType == 1 ? large : small;
}

double DecibelFactor(int steps) {
  return std::pow(10.0, steps * 0.0352 / 20.0);
}

uint16_t Clamp12(double v) {
  if (v <= 0) return 0;
  if (v >= 4095) return 4095;
  // v is positive here, and the scene's figures are defined by this rounding.
  return static_cast<uint16_t>(v + 0.5);  // NOLINT(bugprone-incorrect-roundings)
}

}  // namespace

FrameGeometry Geometry(int cisType) {
  FrameGeometry g;
  g.n = cisType == 1 ? 404 : 202;
  g.border = cisType == 1 ? 2 : 1;
  g.s = g.n - 2 * g.border;
  g.bytes = static_cast<uint32_t>(g.n) * g.n * 4;
  return g;
}

const std::vector<StuckPixel>& StuckPixels(int cisType) {
  static const std::vector<StuckPixel> small = {{23, 41, false}, {131, 77, false}, {88, 150, false},
                                                {57, 19, true},  {170, 112, true}, {112, 183, true},
                                                {36, 171, true}};
  static const std::vector<StuckPixel> large = {
      {47, 83, false}, {262, 153, false}, {176, 301, false}, {330, 340, false},
      {115, 37, true}, {341, 225, true},  {224, 367, true}};
  return cisType == 1 ? large : small;
}

int SceneOffset(int cisType, steady_clock::duration sinceEpoch) {
  const int s = Geometry(cisType).s;
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  // Fifteen percent of the image width per second, whatever the head.
  const int64_t pixels = ms * s * 3 / 20000;
  return static_cast<int>((pixels & ~int64_t{1}) % s);
}

double MeanRadiance(int cisType, int dataFormat, int area, bool outside, int offset) {
  const BaseScene& base = Base(cisType);
  const int s = base.s;
  if (area < 0 || area > 7) area = 0;
  const bool flat = dataFormat == 1;
  const std::vector<double>& all = flat ? base.flatColumns[0] : base.areaColumns[0];
  const std::vector<double>& columns = flat ? base.flatColumns[area] : base.areaColumns[area];
  int first, side;
  AreaSpan(s, area, first, side);
  const int shift = flat ? 0 : offset;
  double inside = 0;
  for (int x = first; x < first + side; ++x) inside += columns[(x + shift) % s];
  const double insideCount = static_cast<double>(side) * side;
  if (!outside || area == 0) return inside / insideCount;
  double total = 0;
  for (double c : all) total += c;
  return (total - inside) / (static_cast<double>(s) * s - insideCount);
}

bool FrameBuilder::NeedsRender(uint64_t version, int cisType, int dataFormat,
                               steady_clock::time_point now) const {
  if (!rendered_ || cisType != cisType_ || (dataFormat == 1) != raw_) return true;
  // Rendering takes at most a fifth of the time, however slow the build.
  return version != version_ &&
         now - renderedAt_ >= std::max<steady_clock::duration>(kRenderInterval, 4 * renderCost_);
}

void FrameBuilder::Render(const SceneParams& p, uint64_t version, steady_clock::time_point now) {
  const steady_clock::time_point started = steady_clock::now();
  const BaseScene& base = Base(p.cisType);
  geo_ = Geometry(p.cisType);
  const int s = geo_.s;
  const int b = geo_.border;
  rendered_ = true;
  version_ = version;
  cisType_ = p.cisType;
  dataFormat_ = p.dataFormat;
  renderedAt_ = now;
  raw_ = p.dataFormat == 1;
  texture_.resize(static_cast<size_t>(s) * s);  // allocates only when the head grows
  otherChroma_.resize(texture_.size());
  ring_.resize(geo_.n);

  const int flip = raw_ ? 0 : p.flip & 3;
  const int rotation = raw_ ? 0 : p.rotation & 3;
  // Output (r, c) -> sensor (sr, sc): undo the rotation (clockwise steps), then the flip.
  auto toSensor = [&](int r, int c, int& sr, int& sc) {
    int fr = r, fc = c;
    switch (rotation) {
      case 1:
        fr = s - 1 - c;
        fc = r;
        break;
      case 2:
        fr = s - 1 - r;
        fc = s - 1 - c;
        break;
      case 3:
        fr = c;
        fc = s - 1 - r;
        break;
      default:
        break;
    }
    sr = (flip & 2) ? s - 1 - fr : fr;
    sc = (flip & 1) ? s - 1 - fc : fc;
  };
  // Along which output axis, and which way, the sensor's x runs: the scene scrolls along it.
  int r0, c0, r1, c1;
  toSensor(0, 0, r0, c0);
  toSensor(0, 1, r1, c1);
  vertical_ = c1 == c0;
  if (vertical_) {
    toSensor(1, 0, r1, c1);
  }
  reverse_ = c1 < c0;

  if (raw_) {
    const double scale = p.signalScale;
    for (int y = 0; y < s; ++y) {
      for (int x = 0; x < s; ++x) {
        const uint16_t level = Clamp12(base.flat[static_cast<size_t>(y) * s + x] * scale);
        texture_[static_cast<size_t>(y) * s + x] = Pack(0, static_cast<uint16_t>(level << 4));
      }
    }
    std::fill(ring_.begin(), ring_.end(), Pack(0, 0));
  } else {
    const double scale = p.signalScale;
    const double kr = scale * DecibelFactor(p.gainR);
    const double kg = scale;
    const double kb = scale * DecibelFactor(p.gainB);
    double m[9];
    for (int i = 0; i < 9; ++i) m[i] = p.matrix[i] / 128.0;
    const double black = p.blackLevel * 4.0;
    const double ky = DecibelFactor(p.gainYC[0]);
    const double kcb = DecibelFactor(p.gainYC[1]);
    const double kcr = DecibelFactor(p.gainYC[2]);
    const uint16_t* gammaTable =
        p.gamma >= 1 && p.gamma <= 3 ? &p.gammaTables[(p.gamma - 1) * 4096] : nullptr;
    auto curve = [&](double v) -> double {
      const uint16_t level = Clamp12(v);
      return gammaTable ? std::min<uint16_t>(gammaTable[level], 4095) : level;
    };
    for (int r = 0; r < s; ++r) {
      for (int c = 0; c < s; ++c) {
        int sr, sc;
        toSensor(r, c, sr, sc);
        const size_t i = static_cast<size_t>(sr) * s + sc;
        const double rr = base.r[i] * kr, gg = base.g[i] * kg, bb = base.b[i] * kb;
        const double R = curve(m[0] * rr + m[1] * gg + m[2] * bb + black);
        const double G = curve(m[3] * rr + m[4] * gg + m[5] * bb + black);
        const double B = curve(m[6] * rr + m[7] * gg + m[8] * bb + black);
        const double y = 0.299 * R + 0.587 * G + 0.114 * B;
        const bool firstOfPair = ((b + c) & 1) == 0;
        const auto cb = static_cast<uint16_t>(Clamp12(0.564 * (B - y) * kcb + 2048) << 4);
        const auto cr = static_cast<uint16_t>(Clamp12(0.713 * (R - y) * kcr + 2048) << 4);
        const size_t at = static_cast<size_t>(r) * s + c;
        texture_[at] = Pack(firstOfPair ? cb : cr, static_cast<uint16_t>(Clamp12(y * ky) << 4));
        otherChroma_[at] = firstOfPair ? cr : cb;
      }
    }
    std::fill(ring_.begin(), ring_.end(), Pack(0x8000, 0x0100));
    FilterLuma(p.noiseReduction, p.edgeEnhancement);
  }

  // Stuck pixels show unless defect correction is on and a table lists them.
  patches_.clear();
  for (const StuckPixel& px : StuckPixels(p.cisType)) {
    bool corrected = false;
    if (p.dpCorrection) {
      for (size_t e = 0; e + 1 < p.dpTables.size(); e += 2) {
        corrected = corrected || (p.dpTables[e] == px.x && p.dpTables[e + 1] == px.y);
      }
    }
    if (corrected) continue;
    // Sensor interior (sr, sc) -> output (r, c): flip, then rotate clockwise.
    int sr = px.y - b, sc = px.x - b;
    if (flip & 1) sc = s - 1 - sc;
    if (flip & 2) sr = s - 1 - sr;
    int r = sr, c = sc;
    switch (rotation) {
      case 1:
        r = sc;
        c = s - 1 - sr;
        break;
      case 2:
        r = s - 1 - sr;
        c = s - 1 - sc;
        break;
      case 3:
        r = s - 1 - sc;
        c = sr;
        break;
      default:
        break;
    }
    const uint32_t index = static_cast<uint32_t>((r + b) * geo_.n + (c + b));
    patches_.push_back({index, px.bright ? 0xFFF0u : 0u});
  }
  renderCost_ = steady_clock::now() - started;
}

// The luma of the texture against its 3 x 3 mean: noise reduction moves it towards the mean,
// edge enhancement away from it (an unsharp mask), each a quarter of the difference per step.
void FrameBuilder::FilterLuma(int noiseReduction, int edgeEnhancement) {
  if (noiseReduction == 0 && edgeEnhancement == 0) return;
  const int s = geo_.s;
  luma_.resize(texture_.size());
  auto bytesOf = [](uint32_t packed, uint8_t(&bytes)[4]) { std::memcpy(bytes, &packed, 4); };
  for (size_t i = 0; i < texture_.size(); ++i) {
    uint8_t bytes[4];
    bytesOf(texture_[i], bytes);
    luma_[i] = static_cast<float>((bytes[2] | bytes[3] << 8) >> 4);
  }
  const float smooth = std::min(noiseReduction, 4) / 4.0f;
  const float sharpen = edgeEnhancement / 4.0f;
  for (int r = 0; r < s; ++r) {
    for (int c = 0; c < s; ++c) {
      float sum = 0;
      int count = 0;
      for (int dr = -1; dr <= 1; ++dr) {
        for (int dc = -1; dc <= 1; ++dc) {
          const int rr = r + dr, cc = c + dc;
          if (rr < 0 || rr >= s || cc < 0 || cc >= s) continue;
          sum += luma_[static_cast<size_t>(rr) * s + cc];
          ++count;
        }
      }
      const size_t i = static_cast<size_t>(r) * s + c;
      const float y = luma_[i];
      const float mean = sum / static_cast<float>(count);
      const float filtered = y + (mean - y) * smooth + (y - mean) * sharpen;
      const auto level = static_cast<uint16_t>(std::clamp(std::lround(filtered), 0L, 4095L));
      uint8_t bytes[4];
      bytesOf(texture_[i], bytes);
      texture_[i] =
          Pack(static_cast<uint16_t>(bytes[0] | bytes[1] << 8), static_cast<uint16_t>(level << 4));
    }
  }
}

void FrameBuilder::BuildInto(uint8_t* out, int offset, bool wrongMarkers) const {
  const int n = geo_.n, b = geo_.border, s = geo_.s;
  const size_t rowBytes = static_cast<size_t>(n) * 4;
  const int shift = raw_ ? 0 : (reverse_ ? (s - offset % s) % s : offset % s);
  for (int y = 0; y < n; ++y) {
    uint8_t* row = out + rowBytes * y;
    if (y < b || y >= n - b) {
      std::memcpy(row, ring_.data(), rowBytes);
      continue;
    }
    const int r = y - b;
    const int textureRow = vertical_ ? (r + shift) % s : r;
    const int start = vertical_ ? 0 : shift;
    const uint32_t* src = texture_.data() + static_cast<size_t>(textureRow) * s;
    std::memcpy(row, ring_.data(), static_cast<size_t>(b) * 4);
    std::memcpy(row + b * 4, src + start, static_cast<size_t>(s - start) * 4);
    std::memcpy(row + (b + s - start) * 4, src, static_cast<size_t>(start) * 4);
    std::memcpy(row + (b + s) * 4, ring_.data(), static_cast<size_t>(b) * 4);
    if (!raw_ && (b & 1)) {
      // With an odd ring the outer image columns share a chroma pair with a ring pixel: the
      // ring pixel carries the image pixel's other chroma, so the pair has the image's colour.
      const uint16_t* other = otherChroma_.data() + static_cast<size_t>(textureRow) * s;
      const uint16_t first = other[start];
      const uint16_t last = other[(start + s - 1) % s];
      row[0] = static_cast<uint8_t>(first & 0xFF);
      row[1] = static_cast<uint8_t>(first >> 8);
      row[rowBytes - 4] = static_cast<uint8_t>(last & 0xFF);
      row[rowBytes - 3] = static_cast<uint8_t>(last >> 8);
    }
  }
  for (const auto& patch : patches_) {
    uint8_t* px = out + static_cast<size_t>(patch[0]) * 4;
    px[2] = static_cast<uint8_t>(patch[1] & 0xFF);
    px[3] = static_cast<uint8_t>(patch[1] >> 8);
  }
  auto put = [](uint8_t* px, uint16_t w0, uint16_t w1) {
    px[0] = static_cast<uint8_t>(w0 & 0xFF);
    px[1] = static_cast<uint8_t>(w0 >> 8);
    px[2] = static_cast<uint8_t>(w1 & 0xFF);
    px[3] = static_cast<uint8_t>(w1 >> 8);
  };
  auto swap = [&](uint16_t w) {
    return wrongMarkers ? static_cast<uint16_t>((w << 8) | (w >> 8)) : w;
  };
  put(out, swap(protocol::kMarkerFirst[0]), swap(protocol::kMarkerFirst[1]));
  put(out + geo_.bytes - 4, swap(protocol::kMarkerLast[0]), swap(protocol::kMarkerLast[1]));
}

uint32_t FrameBuilder::Build(uint8_t* out, uint32_t size, int offset, bool wrongMarkers) {
  if (size >= geo_.bytes) {
    BuildInto(out, offset, wrongMarkers);
  } else {
    staging_.resize(geo_.bytes);
    BuildInto(staging_.data(), offset, wrongMarkers);
    std::memcpy(out, staging_.data(), size);
  }
  return geo_.bytes;
}

}  // namespace sim
