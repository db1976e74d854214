// Media files for the playback tests: JPEG frames, AVI files in the recorder's exact layout and
// in the general OpenDML form, BMP files, and files made by ffmpeg.
#pragma once

#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "viewer/playback/core/ByteSource.h"

namespace testmedia {

using Bytes = std::vector<uint8_t>;

// The first `size` bytes in a heap block of exactly that size, so the address sanitizer sees any
// read past them.
class ExactSource : public playback::ByteSource {
 public:
  ExactSource(const Bytes& bytes, size_t size)
      : data_(new uint8_t[std::max<size_t>(size, 1)]), source_(data_.get(), size) {
    std::copy_n(bytes.begin(), size, data_.get());
  }
  uint64_t Size() const override { return source_.Size(); }
  bool Read(uint64_t offset, void* out, size_t n) override { return source_.Read(offset, out, n); }

 private:
  std::unique_ptr<uint8_t[]> data_;
  playback::MemorySource source_;
};

struct Rgb {
  uint8_t r, g, b;
};

// Frame i of a test video: one flat colour, so every decoder gives it back within a step or two.
inline Rgb FrameColour(int i) {
  return {uint8_t(40 + 50 * (i % 5)), uint8_t(230 - 60 * (i % 4)), uint8_t(20 + 35 * (i % 7))};
}

// A width x height JPEG of one colour (quality 90, 4:2:0).
inline Bytes MakeJpeg(int width, int height, Rgb colour) {
  std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
  for (size_t p = 0; p < rgb.size(); p += 3) {
    rgb[p] = colour.r;
    rgb[p + 1] = colour.g;
    rgb[p + 2] = colour.b;
  }
  tjhandle tj = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long length = 0;
  tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &length, TJSAMP_420, 90, 0);
  Bytes out(jpeg, jpeg + length);
  tjFree(jpeg);
  tjDestroy(tj);
  return out;
}

inline std::vector<Bytes> MakeFrames(int count, int width, int height, int first = 0) {
  std::vector<Bytes> frames;
  for (int i = 0; i < count; ++i) frames.push_back(MakeJpeg(width, height, FrameColour(first + i)));
  return frames;
}

// Little-endian byte writer with patching.
class Writer {
 public:
  Bytes bytes;
  size_t Size() const { return bytes.size(); }
  void U8(uint8_t v) { bytes.push_back(v); }
  void U16(uint16_t v) {
    U8(uint8_t(v));
    U8(uint8_t(v >> 8));
  }
  void U32(uint32_t v) {
    U16(uint16_t(v));
    U16(uint16_t(v >> 16));
  }
  void U64(uint64_t v) {
    U32(uint32_t(v));
    U32(uint32_t(v >> 32));
  }
  void Cc(const char* code) { bytes.insert(bytes.end(), code, code + 4); }
  void Put(const Bytes& data) { bytes.insert(bytes.end(), data.begin(), data.end()); }
  void Fill(size_t n, uint8_t v) { bytes.insert(bytes.end(), n, v); }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
  }
  void Patch64(size_t at, uint64_t v) {
    Patch32(at, uint32_t(v));
    Patch32(at + 4, uint32_t(v >> 32));
  }
};

struct AviPlan {
  int width = 200;
  int height = 200;
  uint32_t rate = 30;
  uint32_t scale = 1;
  // Frames of the RIFF "AVI " segment, then of each "AVIX" segment.
  std::vector<std::vector<Bytes>> segments;
  // The recorder's layout: "00db" chunks whose size fields and index sizes hold the length
  // padded to 4 with 0xFF bytes, and the signature JUNK chunk. Otherwise "00dc" chunks with their
  // true length, padded to even with a zero byte.
  bool writerLayout = true;
  bool superIndex = true;   // indx with an ix00 per segment; else indx with no entry in use
  bool legacyIndex = true;  // idx1 over the first segment
  bool absoluteIdx1 = false;
  bool unpadded = false;    // odd chunks without their pad byte
  bool audioFirst = false;  // an audio stream first: the video's chunks are "01dc"
  bool finished = true;     // false: as left by a recorder that never closed the file
};

// Offsets of the parts of a built file, for tests that damage them.
struct AviParts {
  size_t superIndex = 0;  // the "indx" chunk
  std::vector<size_t> ix;
  size_t idx1 = 0;  // 0: none
  size_t strf = 0;
  std::vector<size_t> frameChunks;
};

inline Bytes BuildAvi(const AviPlan& plan, AviParts* parts = nullptr) {
  AviParts local;
  AviParts& p = parts ? *parts : local;
  Writer w;
  const bool writer = plan.writerLayout;
  const char* id = plan.audioFirst ? "01dc" : writer ? "00db" : "00dc";
  const uint32_t segments = uint32_t(plan.segments.size());
  uint32_t total = 0;
  uint32_t maxChunk = 0;
  for (const auto& s : plan.segments) {
    total += uint32_t(s.size());
    for (const Bytes& f : s) maxChunk = std::max<uint32_t>(maxChunk, uint32_t(f.size() + 3) & ~3u);
  }
  const uint32_t first = plan.segments.empty() ? 0 : uint32_t(plan.segments[0].size());

  w.Cc("RIFF");
  const size_t riffSize = w.Size();
  w.U32(0);
  w.Cc("AVI ");
  w.Cc("LIST");
  const size_t hdrlSize = w.Size();
  w.U32(0);
  w.Cc("hdrl");
  w.Cc("avih");
  w.U32(56);
  w.U32(uint32_t(uint64_t(plan.scale) * 1000000 / plan.rate));
  w.U32(plan.finished ? uint32_t(uint64_t(maxChunk) * plan.rate / plan.scale) : 0);
  w.U32(4);
  w.U32(0x810);
  w.U32(plan.finished ? first : 0);
  w.U32(0);
  w.U32(plan.audioFirst ? 2 : 1);
  w.U32(plan.finished ? maxChunk : 0);
  w.U32(uint32_t(plan.width));
  w.U32(uint32_t(plan.height));
  w.Fill(16, 0);
  if (plan.audioFirst) {
    w.Cc("LIST");
    w.U32(4 + 8 + 56 + 8 + 18);
    w.Cc("strl");
    w.Cc("strh");
    w.U32(56);
    w.Cc("auds");
    w.Fill(16, 0);
    w.U32(1);     // scale
    w.U32(8000);  // rate
    w.Fill(28, 0);
    w.Cc("strf");
    w.U32(18);
    w.U16(1);
    w.U16(1);
    w.U32(8000);
    w.U32(8000);
    w.U16(1);
    w.U16(8);
    w.U16(0);
  }
  const uint32_t superEntries = std::max<uint32_t>(1, segments);
  w.Cc("LIST");
  w.U32(4 + 8 + 56 + 8 + 40 + 8 + 24 + 16 * superEntries);
  w.Cc("strl");
  w.Cc("strh");
  w.U32(56);
  w.Cc("vids");
  w.Cc("MJPG");
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.U32(plan.scale);
  w.U32(plan.rate);
  w.U32(0);
  w.U32(plan.finished ? total : 0);
  w.U32(plan.finished ? maxChunk : 0);
  w.U32(0);
  w.U32(0);
  w.U16(0);
  w.U16(0);
  w.U16(uint16_t(plan.width));
  w.U16(uint16_t(plan.height));
  p.strf = w.Size();
  w.Cc("strf");
  w.U32(40);
  w.U32(40);
  w.U32(uint32_t(plan.width));
  w.U32(uint32_t(plan.height));
  w.U16(1);
  w.U16(24);
  w.Cc("MJPG");
  w.U32(uint32_t((plan.width * 3 + 3) / 4 * 4 * plan.height));
  w.Fill(16, 0);
  p.superIndex = w.Size();
  w.Cc("indx");
  w.U32(24 + 16 * superEntries);
  w.U16(4);
  w.U8(0);
  w.U8(0);
  const size_t inUse = w.Size();
  w.U32(0);
  w.Cc(id);
  w.Fill(12, 0);
  const size_t superEntry = w.Size();
  w.Fill(16 * superEntries, 0);
  w.Cc("LIST");
  w.U32(16);
  w.Cc("odml");
  w.Cc("dmlh");
  w.U32(4);
  if (plan.finished) {
    w.U32(total);
  } else {
    w.Cc("CUNT");
  }
  w.Patch32(hdrlSize, uint32_t(w.Size() - hdrlSize - 4));
  if (writer) {
    w.Cc("JUNK");
    w.U32(1020);
    const char* signature = "Made by VRK AVI 2.0";
    w.Put(Bytes(signature, signature + 19));
    w.Fill(1020 - 19, 0);
  }

  uint32_t segmentsDone = 0;
  for (uint32_t s = 0; s < segments; ++s) {
    size_t segmentSize = riffSize;
    if (s > 0) {
      w.Cc("RIFF");
      segmentSize = w.Size();
      w.U32(0);
      w.Cc("AVIX");
    }
    w.Cc("LIST");
    const size_t moviSize = w.Size();
    w.U32(0);
    const size_t moviType = w.Size();
    w.Cc("movi");
    std::vector<uint32_t> offsets;  // from the movi list type to each chunk header
    std::vector<uint32_t> sizes;    // as the size fields and indexes give them
    for (const Bytes& f : plan.segments[s]) {
      const uint32_t n = uint32_t(f.size());
      const uint32_t size = writer ? (n + 3) & ~3u : n;
      offsets.push_back(uint32_t(w.Size() - moviType));
      sizes.push_back(size);
      p.frameChunks.push_back(w.Size());
      w.Cc(id);
      w.U32(size);
      w.Put(f);
      if (writer) {
        w.Fill(size - n, 0xFF);
      } else if ((n & 1) != 0 && !plan.unpadded) {
        w.U8(0);
      }
    }
    if (!plan.finished) break;
    const size_t ix = w.Size();
    if (plan.superIndex) {
      p.ix.push_back(ix);
      const uint32_t count = uint32_t(sizes.size());
      w.Cc("ix00");
      w.U32(count * 8 + 24);
      w.U16(2);
      w.U8(0);
      w.U8(1);
      w.U32(count);
      w.Cc(id);
      w.U64(moviType + 4);
      w.U32(0);
      for (size_t i = 0; i < sizes.size(); ++i) {
        w.U32(offsets[i] - 4 + 8);
        w.U32(sizes[i]);
      }
      w.Patch64(superEntry + 16 * s, ix);
      w.Patch32(superEntry + 16 * s + 8, count * 8 + 32);
      w.Patch32(superEntry + 16 * s + 12, count);
      ++segmentsDone;
    }
    w.Patch32(moviSize, uint32_t(w.Size() - moviType));
    if (s == 0 && plan.legacyIndex) {
      p.idx1 = w.Size();
      w.Cc("idx1");
      w.U32(uint32_t(sizes.size() * 16));
      for (size_t i = 0; i < sizes.size(); ++i) {
        w.Cc(id);
        w.U32(0x10);
        w.U32(plan.absoluteIdx1 ? uint32_t(moviType + offsets[i]) : offsets[i]);
        w.U32(sizes[i]);
      }
    }
    w.Patch32(segmentSize, uint32_t(w.Size() - segmentSize - 4));
  }
  w.Patch32(inUse, segmentsDone);
  return w.bytes;
}

// A BMP with pixel (x, y) from `pixel` (r, g, b), written the way the flags say.
template <typename Pixel>
Bytes BuildBmp(int width, int height, int bitCount, bool topDown, Pixel pixel, int infoSize = 40,
               bool bitfields = false) {
  const uint32_t rowBytes = uint32_t((width * bitCount + 31) / 32 * 4);
  const uint32_t masks = bitfields && infoSize == 40 ? 12 : 0;
  const uint32_t offBits = 14 + uint32_t(infoSize) + masks;
  Writer w;
  w.U8('B');
  w.U8('M');
  w.U32(offBits + rowBytes * uint32_t(height));
  w.U32(0);
  w.U32(offBits);
  w.U32(uint32_t(infoSize));
  w.U32(uint32_t(width));
  w.U32(uint32_t(topDown ? -height : height));
  w.U16(1);
  w.U16(uint16_t(bitCount));
  w.U32(bitfields ? 3 : 0);
  w.U32(rowBytes * uint32_t(height));
  w.Fill(16, 0);
  if (bitfields) {
    w.U32(0x00FF0000);
    w.U32(0x0000FF00);
    w.U32(0x000000FF);
  }
  w.Fill(offBits - w.Size(), 0);
  for (int row = 0; row < height; ++row) {
    const int y = topDown ? row : height - 1 - row;
    const size_t start = w.Size();
    for (int x = 0; x < width; ++x) {
      const Rgb c = pixel(x, y);
      w.U8(c.b);
      w.U8(c.g);
      w.U8(c.r);
      if (bitCount == 32) w.U8(0x80);  // an alpha the viewer ignores
    }
    w.Fill(rowBytes - (w.Size() - start), 0xEE);
  }
  return w.bytes;
}

// A picture whose every pixel differs from its neighbours.
inline Rgb Pattern(int x, int y) {
  return {uint8_t(x * 7 + y), uint8_t(y * 5 + 3 * x), uint8_t((x ^ y) * 3)};
}

// Scratch directory removed with the object.
class TempDir {
 public:
  TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    for (int i = 0;; ++i) {
      path_ = base / ("qel-playback-" + std::to_string(std::rand()) + "-" + std::to_string(i));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs ffmpeg quietly with the given arguments; true when it succeeded.
inline bool Ffmpeg(const std::string& arguments) {
  return std::system(("ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments).c_str()) == 0;
}

// The number of video frames ffprobe counts in a file, or -1.
inline int FfprobeFrames(const std::string& path) {
  const std::string command =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames "
      "-of csv=p=0 '" +
      path + "'";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  int frames = -1;
  if (std::fscanf(pipe, "%d", &frames) != 1) frames = -1;
  pclose(pipe);
  return frames;
}

}  // namespace testmedia
