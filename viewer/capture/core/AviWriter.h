// The AVI 2.0 writer: one video stream of JPEG frames with an OpenDML super index, a standard
// index and the legacy idx1 index, written with 64-bit positions and patched in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capture {

class ByteWriter;

// Where the writer's bytes go. A file by default; tests put stand-ins here (a disk that fills
// up, a file of several gigabytes that is never written out).
class FileSink {
 public:
  virtual ~FileSink() = default;
  virtual bool Write(const void* data, size_t length) = 0;
  virtual bool Seek(uint64_t position) = 0;
  // Cuts the file at length; used after a failed write left bytes beyond the data's end.
  virtual bool Truncate(uint64_t length) = 0;
  // Flushes and closes; false when buffered data could not be written.
  virtual bool Close() = 0;
  // Called once the first frame is written: from then on the recording stands at its path.
  virtual bool Publish() { return true; }
  // Why the last step failed (an errno value), 0 when not known.
  virtual int Error() const { return 0; }
};

// A buffered file for binary writing that leaves a file already at `path` alone until Publish
// (so a recording that never gets a frame destroys nothing), and from then on writes in place
// (so a recording cut short stays readable up to its last frame). Null when it cannot be
// created; `error` then receives why.
std::unique_ptr<FileSink> OpenFileSink(const std::string& path, int* error = nullptr);

// Fixed layout of the header (absolute offsets in the file).
namespace avi {
constexpr uint32_t kRiffSize = 4;
constexpr uint32_t kHdrl = 20;
constexpr uint32_t kMicroSecPerFrame = 32;
constexpr uint32_t kMaxBytesPerSec = 36;
constexpr uint32_t kAvihTotalFrames = 48;
constexpr uint32_t kAvihSuggestedBuffer = 60;
constexpr uint32_t kAvihWidth = 64;
constexpr uint32_t kAvihHeight = 68;
constexpr uint32_t kStrhScale = 128;
constexpr uint32_t kStrhRate = 132;
constexpr uint32_t kStrhLength = 140;
constexpr uint32_t kStrhSuggestedBuffer = 144;
constexpr uint32_t kStrhRight = 160;
constexpr uint32_t kStrhBottom = 162;
constexpr uint32_t kStrfWidth = 176;
constexpr uint32_t kStrfHeight = 180;
constexpr uint32_t kStrfImageSize = 192;
constexpr uint32_t kSuperIndexEntriesInUse = 224;
constexpr uint32_t kSuperIndexEntries = 244;
constexpr uint32_t kDmlhTotalFrames = 280;
constexpr uint32_t kMoviSize = 1316;
constexpr uint32_t kMovi = 1320;
constexpr uint32_t kFirstChunk = 1324;

// A segment ends at 65,536 frames or once its data pass 0x7E000000 bytes.
constexpr int kMaxSegmentFrames = 65536;
constexpr uint64_t kMaxSegmentBytes = 0x7E000000;
}  // namespace avi

// Where a segment, and with one segment the file, ends. Lower limits let a test reach the end
// of a file without writing gigabytes.
struct SegmentLimits {
  int frames = avi::kMaxSegmentFrames;
  uint64_t bytes = avi::kMaxSegmentBytes;
};

class AviWriter {
 public:
  // Results: 0 success; -1 no file open; 1 the file could not be written; -2 the file is full.
  static constexpr int kOk = 0;
  static constexpr int kNotOpen = -1;
  static constexpr int kWriteFailed = 1;
  static constexpr int kFull = -2;

  AviWriter() = default;
  ~AviWriter();
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Creates path and writes the header up to the movi list type. -1 when the file cannot be
  // created, 1 when the header cannot be written (no file is open then). A file already at path
  // is replaced only once the first frame is written (or by a complete recording without any).
  int Open(const std::string& path, SegmentLimits limits = {});
  int Open(std::unique_ptr<FileSink> sink, SegmentLimits limits = {});

  int SetFrameSize(uint32_t width, uint32_t height);
  // Frames per second as rate / scale.
  int SetFrameRate(uint32_t rate, uint32_t scale);
  // Appends one frame chunk. After a failed write the file ends where it ended before. The
  // first frame puts the file in its path's place.
  int AddFrame(uint32_t length, const void* data);
  // Finishes the open segment and the summary fields and closes the file; 1 when any write of
  // the file failed, so the file is not complete.
  int Close();

  bool IsOpen() const { return sink_ != nullptr; }
  // Why the file could not be created or written (an errno value), 0 when not known.
  int Error() const { return sink_ ? sink_->Error() : error_; }
  int TotalFrames() const { return totalFrames_; }

 private:
  bool Put(const void* data, size_t length);
  bool PatchAt(uint64_t position, const ByteWriter& bytes);
  bool Patch32(uint64_t position, uint32_t value);
  bool Patch16(uint64_t position, uint16_t value);
  bool SeekEnd();
  bool WriteHeader();
  bool FinishSegment();

  std::unique_ptr<FileSink> sink_;
  SegmentLimits limits_;
  std::vector<uint32_t> chunkSizes_;  // padded size of every chunk of the current segment
  uint32_t maxChunkSize_ = 0;
  int segmentFrames_ = 0;
  int totalFrames_ = 0;
  int firstSegmentFrames_ = 0;
  int segmentsDone_ = 0;
  int maxSegments_ = 1;
  uint32_t rate_ = 0;
  uint32_t scale_ = 0;
  uint64_t riffDataPos_ = 0;
  uint64_t moviDataPos_ = 0;
  uint64_t position_ = 0;      // where the next byte goes
  uint64_t end_ = 0;           // length of the data written so far
  uint64_t reached_ = 0;       // furthest position any write may have touched
  bool failed_ = false;        // a write, seek or patch failed: the file is not complete
  bool positionLost_ = false;  // a seek failed: the stream may stand anywhere
  int error_ = 0;
};

}  // namespace capture
