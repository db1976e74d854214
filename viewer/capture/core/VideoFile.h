// One recording on disk: an AVI file of JPEG frames, opened at the nominal rate and closed with
// the rate the frames really came at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "viewer/capture/core/AviWriter.h"
#include "viewer/capture/core/ImageEncoding.h"

namespace capture {

// Frame rate written at open, as rate / scale: 120 frames per second.
constexpr uint32_t kNominalRate = 120;
constexpr uint32_t kNominalScale = 1;
// The measured rate is written in hundredths of a frame per second.
constexpr uint32_t kMeasuredScale = 100;

// frames / elapsedMs x 1000 x 100, truncated; none without frames, without elapsed time or when
// it would be 0.
std::optional<uint32_t> MeasuredRate(int frames, int64_t elapsedMs);

// A wait for a frame longer than this is an outage (unit unplugged, stream stalled), not a
// frame period.
constexpr int64_t kFrameGapMs = 1000;

// The rate frames came at while they were arriving: each frame counts with the time since the
// one before (the first since the start), except after an outage, so a recording across an
// unplug plays at the speed it was taken and the outage passes as a cut.
class ArrivalRate {
 public:
  explicit ArrivalRate(int64_t startMs = 0) : lastMs_(startMs) {}
  void Frame(int64_t ms);
  // MeasuredRate of the counted frames over their time.
  std::optional<uint32_t> Rate() const { return MeasuredRate(frames_, elapsedMs_); }

 private:
  int64_t lastMs_;
  int frames_ = 0;
  int64_t elapsedMs_ = 0;
};

class VideoFile {
 public:
  // Creates the file for side x side frames; startMs is the time the measured rate counts from.
  // The writer's result: 0, -1 when the file cannot be created, 1 when it cannot be written.
  int Open(const std::string& path, int side, int64_t startMs, SegmentLimits limits = {});
  // Encodes a side x side capture bitmap taken at timeMs; false when no JPEG came out.
  bool Encode(const uint8_t* bitmap, int64_t timeMs);
  // Appends the frame encoded last: AddFrame's result (0, 1 write failed, -2 file full).
  int Append();
  // Writes the measured rate and closes: 0, or 1 when the file is not complete.
  int Close();

  bool IsOpen() const { return writer_.IsOpen(); }
  // Why the file could not be created or written (an errno value), 0 when not known.
  int Error() const { return writer_.Error(); }
  int Side() const { return side_; }
  int Frames() const { return frames_; }
  // The rate written at Close (scale 100), or none when the nominal one stayed.
  std::optional<uint32_t> WrittenRate() const { return writtenRate_; }

 private:
  AviWriter writer_;
  JpegEncoder encoder_;
  int side_ = 0;
  int frames_ = 0;
  size_t encodedLength_ = 0;
  int64_t encodedMs_ = 0;
  ArrivalRate arrival_;
  std::optional<uint32_t> writtenRate_;
};

}  // namespace capture
