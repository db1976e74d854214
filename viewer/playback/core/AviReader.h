// Reader of AVI files with one MJPEG video stream: RIFF and AVIX segments, the OpenDML super
// index with its standard indexes, the legacy idx1 index, or a scan of the movi lists.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "viewer/playback/core/ByteSource.h"
#include "viewer/playback/core/Limits.h"
#include "viewer/playback/core/Timeline.h"

namespace playback {

enum class AviResult {
  Ok,
  NotAvi,    // no RIFF "AVI " form
  NoVideo,   // no video stream header
  NotMjpeg,  // the video is not JPEG frames
  BadSize,   // no picture size, or one beyond the limits
  BadRate,   // no frame rate, or a stream too long to time
  NoFrames,  // no frame found by any index nor by scanning
};

// Where the frame list came from.
enum class AviIndexKind { None, OpenDml, Legacy, Scan };

struct AviFrame {
  uint64_t offset;  // first data byte
  uint32_t size;    // data bytes as the index or the chunk header gives them
};

class AviReader {
 public:
  // Reads the headers and builds the frame list. The source stays with the reader.
  AviResult Open(std::unique_ptr<ByteSource> source);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const Timeline& Clock() const { return timeline_; }
  uint32_t Compression() const { return compression_; }
  AviIndexKind IndexKind() const { return indexKind_; }
  const std::vector<AviFrame>& Frames() const { return frames_; }

  // The bytes of frame i into data (its capacity is reused). False when the frame cannot be read.
  bool ReadFrame(size_t i, std::vector<uint8_t>& data);

 private:
  struct Range {
    uint64_t begin;  // first chunk header
    uint64_t end;
  };
  struct SuperEntry {
    uint64_t offset;
    uint32_t size;
  };

  void WalkRiff(uint64_t begin, uint64_t end, bool first);
  void ReadHeaderList(uint64_t begin, uint64_t end);
  void ReadStreamList(uint64_t begin, uint64_t end, int stream);
  bool IsVideoChunk(uint32_t id) const;
  // An "AVIX" RIFF form starts at offset.
  bool SegmentAt(uint64_t offset);

  bool UseOpenDmlIndex();
  bool UseLegacyIndex();
  void ScanMovi(const Range& movi, std::vector<AviFrame>& out);
  bool Inside(uint64_t offset, uint64_t size) const;
  bool Read(uint64_t offset, void* out, size_t n) { return source_->Read(offset, out, n); }
  void RepeatEmptyFrames();

  std::unique_ptr<ByteSource> source_;
  uint64_t fileSize_ = 0;

  // Main header values, used where the stream header leaves something out.
  uint32_t mainMicroseconds_ = 0;
  int32_t mainWidth_ = 0;
  int32_t mainHeight_ = 0;

  int videoStream_ = -1;  // number of the first video stream, as in its chunk ids
  int streams_ = 0;
  uint32_t handler_ = 0;
  uint32_t compression_ = 0;
  uint32_t rate_ = 0;
  uint32_t scale_ = 0;
  int32_t streamWidth_ = 0;
  int32_t streamHeight_ = 0;
  bool haveFormat_ = false;
  std::vector<SuperEntry> superIndex_;

  std::vector<Range> movi_;    // movi lists of the RIFF segments, in file order
  uint64_t moviListType_ = 0;  // position of the first movi list's "movi", base of idx1
  uint64_t idx1Offset_ = 0;    // first entry
  uint64_t idx1Entries_ = 0;

  int width_ = 0;
  int height_ = 0;
  Timeline timeline_;
  AviIndexKind indexKind_ = AviIndexKind::None;
  std::vector<AviFrame> frames_;
};

}  // namespace playback
