// The AVI 2.0 writer: header at open, frame chunks as they come, indexes and patches at the end.
#include "viewer/capture/core/AviWriter.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstdio>

#include "viewer/capture/core/ByteWriter.h"
#include "viewer/files/Files.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

namespace capture {
namespace {

constexpr size_t kFileBuffer = 64 * 1024;
constexpr uint32_t kAvihFlags = 0x810;  // has index, trust chunk types
constexpr uint32_t kKeyFrame = 0x10;
constexpr char kSignature[] = "Made by VRK AVI 2.0";
constexpr uint32_t kJunkSize = 1020;

// Chunks in memory: chunks and lists are opened with their code and get their size when they
// close; header fields patched later are marked at the offset the patch uses.
class ChunkBuilder {
 public:
  explicit ChunkBuilder(size_t capacity) : bytes_(capacity) {}

  ByteWriter& Bytes() { return bytes_; }
  ChunkBuilder& Chunk(const char (&code)[5]) {
    bytes_.Fcc(code);
    open_.push_back(bytes_.Size());
    bytes_.U32(0);
    return *this;
  }
  ChunkBuilder& List(const char (&type)[5]) {
    Chunk("LIST");
    bytes_.Fcc(type);
    return *this;
  }
  // Closes the innermost open chunk or list: its size counts what follows the size field.
  ChunkBuilder& End() {
    const size_t sizeAt = open_.back();
    open_.pop_back();
    bytes_.PatchU32(sizeAt, uint32_t(bytes_.Size() - sizeAt - 4));
    return *this;
  }
  // The next field is the one written later at `offset`.
  ByteWriter& At([[maybe_unused]] uint32_t offset) {
    assert(bytes_.Size() == offset);
    return bytes_;
  }

 private:
  ByteWriter bytes_;
  std::vector<size_t> open_;
};

// A 32-bit header field and its new value.
struct Field {
  uint32_t position;
  uint32_t value;
};

class StdioSink : public FileSink {
 public:
  explicit StdioSink(const std::string& path) : out_(path), file_(out_.Stream()) {
    if (file_ != nullptr) std::setvbuf(file_, nullptr, _IOFBF, kFileBuffer);
  }
  bool Ok() const { return file_ != nullptr; }

  bool Write(const void* data, size_t length) override {
    if (file_ == nullptr) return false;  // lost when a reopen after publishing failed
    errno = 0;
    return Checked(std::fwrite(data, 1, length, file_) == length);
  }

  bool Seek(uint64_t position) override {
    if (file_ == nullptr) return false;
    errno = 0;
#if defined(_WIN32)
    return Checked(_fseeki64(file_, int64_t(position), SEEK_SET) == 0);
#else
    return Checked(fseeko(file_, off_t(position), SEEK_SET) == 0);
#endif
  }

  bool Truncate(uint64_t length) override {
    if (file_ == nullptr) return false;
    errno = 0;
    if (!Checked(std::fflush(file_) == 0)) return false;
#if defined(_WIN32)
    return Checked(_chsize_s(_fileno(file_), int64_t(length)) == 0);
#else
    return Checked(ftruncate(fileno(file_), off_t(length)) == 0);
#endif
  }

  bool Publish() override {
    const files::Result published = out_.Publish();
    file_ = out_.Stream();  // reopened where the platform cannot rename an open file
    if (!published && error_ == 0) error_ = published.error;
    published_ = static_cast<bool>(published);
    return published_;
  }

  bool Close() override {
    // A failed step before publishing keeps the earlier file; after it the file stays in place.
    if (error_ != 0 && !published_) out_.Fail(error_);
    const files::Result closed = out_.Commit();
    file_ = nullptr;
    if (!closed && error_ == 0) error_ = closed.error;
    return static_cast<bool>(closed);
  }

  int Error() const override {
    return error_ != 0 ? error_ : out_.Status().error;
  }

 private:
  bool Checked(bool ok) {
    if (!ok && error_ == 0) error_ = errno != 0 ? errno : EIO;
    return ok;
  }

  files::ReplacingFile out_;
  std::FILE* file_;
  int error_ = 0;
  bool published_ = false;
};

}  // namespace

std::unique_ptr<FileSink> OpenFileSink(const std::string& path, int* error) {
  auto sink = std::make_unique<StdioSink>(path);
  if (error != nullptr) *error = sink->Error();
  if (!sink->Ok()) return nullptr;
  return sink;
}

AviWriter::~AviWriter() {
  Close();
}

int AviWriter::Open(const std::string& path, SegmentLimits limits) {
  int error = 0;
  std::unique_ptr<FileSink> sink = OpenFileSink(path, &error);
  if (!sink) {
    Close();
    error_ = error;
    return kNotOpen;
  }
  return Open(std::move(sink), limits);
}

int AviWriter::Open(std::unique_ptr<FileSink> sink, SegmentLimits limits) {
  Close();
  if (!sink) return kNotOpen;
  sink_ = std::move(sink);
  limits_.frames = std::clamp(limits.frames, 1, avi::kMaxSegmentFrames);
  limits_.bytes = std::min(limits.bytes, avi::kMaxSegmentBytes);
  chunkSizes_.assign(size_t(limits_.frames), 0);
  maxChunkSize_ = 0;
  segmentFrames_ = 0;
  totalFrames_ = 0;
  firstSegmentFrames_ = 0;
  segmentsDone_ = 0;
  maxSegments_ = 1;
  rate_ = 0;
  scale_ = 0;
  position_ = end_ = reached_ = 0;
  failed_ = false;
  positionLost_ = false;
  error_ = 0;
  if (!WriteHeader()) {
    sink_->Close();
    error_ = sink_->Error();
    sink_.reset();
    chunkSizes_ = {};
    return kWriteFailed;
  }
  return kOk;
}

// Everything up to and including the movi list type; the one super index entry and the sizes
// patched later start as zero, the dmlh total as "CUNT". The RIFF and movi sizes are written when
// a segment finishes, the other chunk sizes as their chunks close here.
bool AviWriter::WriteHeader() {
  ChunkBuilder h(avi::kFirstChunk);
  ByteWriter& w = h.Bytes();
  w.Fcc("RIFF");
  h.At(avi::kRiffSize).U32(0).Fcc("AVI ");
  h.List("hdrl");

  h.Chunk("avih");
  h.At(avi::kMicroSecPerFrame).U32(0);
  h.At(avi::kMaxBytesPerSec).U32(0);
  w.U32(4);           // padding granularity
  w.U32(kAvihFlags);  // flags
  h.At(avi::kAvihTotalFrames).U32(0);
  w.U32(0);  // initial frames
  w.U32(1);  // streams
  h.At(avi::kAvihSuggestedBuffer).U32(0);
  h.At(avi::kAvihWidth).U32(0);
  h.At(avi::kAvihHeight).U32(0);
  w.Zeros(16);  // reserved
  h.End();

  h.List("strl");
  h.Chunk("strh");
  w.Fcc("vids");  // type
  w.Fcc("MJPG");  // handler
  w.U32(0);       // flags
  w.U16(0);       // priority
  w.U16(0);       // language
  w.U32(0);       // initial frames
  h.At(avi::kStrhScale).U32(0);
  h.At(avi::kStrhRate).U32(0);
  w.U32(0);  // start
  h.At(avi::kStrhLength).U32(0);
  h.At(avi::kStrhSuggestedBuffer).U32(0);
  w.U32(0);  // quality
  w.U32(0);  // sample size
  w.U16(0);  // frame left
  w.U16(0);  // frame top
  h.At(avi::kStrhRight).U16(0);
  h.At(avi::kStrhBottom).U16(0);
  h.End();

  h.Chunk("strf");
  w.U32(40);  // bitmap info header size
  h.At(avi::kStrfWidth).U32(0);
  h.At(avi::kStrfHeight).U32(0);
  w.U16(1);       // planes
  w.U16(24);      // bit count
  w.Fcc("MJPG");  // compression
  h.At(avi::kStrfImageSize).U32(0);
  w.Zeros(16);  // pixels per metre x and y, colours used and important
  h.End();

  h.Chunk("indx");  // the OpenDML super index with one entry
  w.U16(4);         // longs per entry
  w.U8(0);          // index sub type
  w.U8(0);          // index type: an index of indexes
  h.At(avi::kSuperIndexEntriesInUse).U32(0);
  w.Fcc("00db");                            // chunk id
  w.Zeros(12);                              // reserved
  h.At(avi::kSuperIndexEntries).Zeros(16);  // offset, size and duration of the entry
  h.End();
  h.End();  // strl

  h.List("odml");
  h.Chunk("dmlh");
  h.At(avi::kDmlhTotalFrames).Fcc("CUNT");
  h.End();
  h.End();  // odml
  h.End();  // hdrl

  h.Chunk("JUNK");
  w.Bytes(kSignature, sizeof kSignature - 1);
  w.Zeros(kJunkSize - (sizeof kSignature - 1));
  h.End();

  w.Fcc("LIST");
  h.At(avi::kMoviSize).U32(0).Fcc("movi");
  assert(w.Size() == avi::kFirstChunk);
  riffDataPos_ = avi::kRiffSize + 4;
  moviDataPos_ = avi::kMovi;
  return Put(w.Data(), w.Size());
}

bool AviWriter::Put(const void* data, size_t length) {
  if (length == 0) return true;
  const bool ok = sink_->Write(data, length);
  position_ += length;
  end_ = std::max(end_, position_);
  reached_ = std::max(reached_, position_);
  return ok;
}

bool AviWriter::PatchAt(uint64_t position, const ByteWriter& bytes) {
  position_ = position;
  if (!sink_->Seek(position)) {
    failed_ = true;
    positionLost_ = true;
    return false;
  }
  if (!Put(bytes.Data(), bytes.Size())) {
    failed_ = true;
    return false;
  }
  return true;
}

bool AviWriter::Patch32(uint64_t position, uint32_t value) {
  ByteWriter b(4);
  b.U32(value);
  return PatchAt(position, b);
}

bool AviWriter::Patch16(uint64_t position, uint16_t value) {
  ByteWriter b(2);
  b.U16(value);
  return PatchAt(position, b);
}

bool AviWriter::SeekEnd() {
  position_ = end_;
  if (sink_->Seek(end_)) {
    positionLost_ = false;
    return true;
  }
  failed_ = true;
  positionLost_ = true;
  return false;
}

int AviWriter::SetFrameSize(uint32_t width, uint32_t height) {
  if (!sink_) return kNotOpen;
  const uint64_t imageSize = uint64_t((uint64_t(width) * 3 + 3) / 4) * 4 * height;
  bool ok = true;
  const Field fields[] = {{avi::kAvihWidth, width},
                          {avi::kAvihHeight, height},
                          {avi::kStrfWidth, width},
                          {avi::kStrfHeight, height},
                          {avi::kStrfImageSize, uint32_t(imageSize)}};
  for (const Field& f : fields) ok = Patch32(f.position, f.value) && ok;
  ok = Patch16(avi::kStrhRight, uint16_t(width)) && ok;
  ok = Patch16(avi::kStrhBottom, uint16_t(height)) && ok;
  ok = SeekEnd() && ok;
  return ok ? kOk : kWriteFailed;
}

int AviWriter::SetFrameRate(uint32_t rate, uint32_t scale) {
  if (!sink_) return kNotOpen;
  rate_ = rate;
  scale_ = scale;
  // Truncated toward zero; a zero rate has no frame duration.
  const uint64_t microSeconds = rate == 0 ? 0 : uint64_t(scale) * 1000000 / rate;
  bool ok = true;
  const Field fields[] = {{avi::kStrhScale, scale},
                          {avi::kStrhRate, rate},
                          {avi::kMicroSecPerFrame, uint32_t(microSeconds)}};
  for (const Field& f : fields) ok = Patch32(f.position, f.value) && ok;
  ok = SeekEnd() && ok;
  return ok ? kOk : kWriteFailed;
}

int AviWriter::AddFrame(uint32_t length, const void* data) {
  if (!sink_) return kNotOpen;
  if (segmentsDone_ >= maxSegments_) return kFull;
  if (position_ - riffDataPos_ > limits_.bytes || segmentFrames_ >= limits_.frames) {
    FinishSegment();
    if (segmentsDone_ >= maxSegments_) return kFull;
  }
  if (length > 0 && data == nullptr) return kWriteFailed;
  const uint64_t padded = (uint64_t(length) + 3) & ~uint64_t(3);
  if (padded > UINT32_MAX) return kWriteFailed;
  // A failed write or patch may have left the stream elsewhere: the chunk goes at the data's end.
  if (positionLost_ && !SeekEnd()) return kWriteFailed;

  const uint64_t chunkStart = position_;
  ByteWriter head(8);
  head.Fcc("00db").U32(uint32_t(padded));
  static const uint8_t kPad[3] = {0xFF, 0xFF, 0xFF};
  if (!Put(head.Data(), head.Size()) || !Put(data, length) || !Put(kPad, size_t(padded - length))) {
    // The chunk is not part of the file: the next one starts where this one began, so the
    // indexes stay true; Close cuts whatever reached the disk beyond the end.
    end_ = chunkStart;
    SeekEnd();
    return kWriteFailed;
  }
  if (totalFrames_ == 0 && !sink_->Publish()) {
    failed_ = true;
    return kWriteFailed;
  }
  chunkSizes_[size_t(segmentFrames_)] = uint32_t(padded);
  maxChunkSize_ = std::max(maxChunkSize_, uint32_t(padded));
  ++segmentFrames_;
  ++totalFrames_;
  return kOk;
}

// Standard index, movi size, legacy index (segment 0), RIFF size and the super index entry.
bool AviWriter::FinishSegment() {
  if (positionLost_) SeekEnd();
  const uint32_t frames = uint32_t(segmentFrames_);
  const uint64_t indexPos = position_;
  ChunkBuilder ix(32 + size_t(frames) * 8);
  ix.Chunk("ix00");
  ix.Bytes().U16(2).U8(0).U8(1).U32(frames).Fcc("00db").U64(moviDataPos_ + 4).U32(0);
  uint32_t offset = 8;
  for (uint32_t i = 0; i < frames; ++i) {
    ix.Bytes().U32(offset).U32(chunkSizes_[i]);
    offset += chunkSizes_[i] + 8;
  }
  ix.End();
  if (!Put(ix.Bytes().Data(), ix.Bytes().Size())) failed_ = true;
  Patch32(moviDataPos_ - 4, uint32_t(end_ - moviDataPos_));

  if (segmentsDone_ == 0) {
    firstSegmentFrames_ = segmentFrames_;
    ChunkBuilder idx(8 + size_t(frames) * 16);
    idx.Chunk("idx1");
    offset = 4;
    for (uint32_t i = 0; i < frames; ++i) {
      idx.Bytes().Fcc("00db").U32(kKeyFrame).U32(offset).U32(chunkSizes_[i]);
      offset += chunkSizes_[i] + 8;
    }
    idx.End();
    if (SeekEnd() && !Put(idx.Bytes().Data(), idx.Bytes().Size())) failed_ = true;
  }
  Patch32(riffDataPos_ - 4, uint32_t(end_ - riffDataPos_));

  ByteWriter entry(16);
  entry.U64(indexPos).U32(uint32_t(ix.Bytes().Size())).U32(frames);
  PatchAt(avi::kSuperIndexEntries + 16 * uint64_t(segmentsDone_), entry);
  SeekEnd();
  ++segmentsDone_;
  segmentFrames_ = 0;
  return !failed_;
}

int AviWriter::Close() {
  if (!sink_) return kNotOpen;
  if (segmentFrames_ != 0) FinishSegment();
  const uint64_t bytesPerSec = scale_ == 0 ? 0 : uint64_t(maxChunkSize_) * rate_ / scale_;
  const Field fields[] = {{avi::kSuperIndexEntriesInUse, uint32_t(segmentsDone_)},
                          {avi::kAvihTotalFrames, uint32_t(firstSegmentFrames_)},
                          {avi::kStrhLength, uint32_t(totalFrames_)},
                          {avi::kDmlhTotalFrames, uint32_t(totalFrames_)},
                          {avi::kAvihSuggestedBuffer, maxChunkSize_},
                          {avi::kMaxBytesPerSec, uint32_t(bytesPerSec)},
                          {avi::kStrhSuggestedBuffer, maxChunkSize_}};
  for (const Field& f : fields) Patch32(f.position, f.value);
  SeekEnd();
  if (reached_ > end_ && !sink_->Truncate(end_)) failed_ = true;
  if (!sink_->Close()) failed_ = true;
  if (failed_) error_ = sink_->Error();
  sink_.reset();
  chunkSizes_ = {};
  return failed_ ? kWriteFailed : kOk;
}

}  // namespace capture
