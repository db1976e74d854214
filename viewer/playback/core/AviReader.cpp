// AVI parsing: every size and offset read from the file is checked against the file's length
// before it is used, and every walk advances by at least one chunk header.
#include "viewer/playback/core/AviReader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace playback {
namespace {

constexpr uint32_t kRiff = FourCc("RIFF");
constexpr uint32_t kAvi = FourCc("AVI ");
constexpr uint32_t kAvix = FourCc("AVIX");
constexpr uint32_t kList = FourCc("LIST");
constexpr uint32_t kHdrl = FourCc("hdrl");
constexpr uint32_t kStrl = FourCc("strl");
constexpr uint32_t kMovi = FourCc("movi");
constexpr uint32_t kRec = FourCc("rec ");
constexpr uint32_t kAvih = FourCc("avih");
constexpr uint32_t kStrh = FourCc("strh");
constexpr uint32_t kStrf = FourCc("strf");
constexpr uint32_t kIndx = FourCc("indx");
constexpr uint32_t kIdx1 = FourCc("idx1");
constexpr uint32_t kVids = FourCc("vids");

constexpr uint64_t kChunkHeader = 8;
constexpr size_t kMaxSuperEntries = 65536;
// Index entries are read in blocks of this many bytes.
constexpr size_t kIndexBlock = 64 * 1024;

// Chunk ids and list types are printable ASCII; anything else means the walk lost its way.
bool Printable(uint32_t code) {
  for (int i = 0; i < 4; ++i) {
    const uint32_t c = (code >> (8 * i)) & 0xFF;
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

bool IsMjpeg(uint32_t code) {
  uint32_t upper = 0;
  for (int i = 0; i < 4; ++i) {
    upper |= uint32_t(std::toupper(int((code >> (8 * i)) & 0xFF))) << (8 * i);
  }
  return upper == FourCc("MJPG") || upper == FourCc("JPEG");
}

// A chunk header with a printable id whose chunk ends by `end`.
bool ChunkAt(ByteSource& source, uint64_t offset, uint64_t end) {
  uint8_t h[8];
  return offset + sizeof h <= end && source.Read(offset, h, sizeof h) && Printable(Le32(h)) &&
         Le32(h + 4) <= end - offset - sizeof h;
}

// Walks the chunks of [begin, end), calling visit(offset, id, size) for each chunk header that
// lies inside. Chunks are padded to an even size; a writer that left the pad byte out is
// followed too. Returns early when visit returns false or a chunk runs past the end.
template <typename Visit>
void WalkChunks(ByteSource& source, uint64_t begin, uint64_t end, Visit&& visit) {
  uint64_t at = begin;
  uint8_t header[8];
  while (at + kChunkHeader <= end && source.Read(at, header, sizeof header)) {
    const uint32_t id = Le32(header);
    const uint32_t size = Le32(header + 4);
    if (!visit(at, id, size)) return;
    const uint64_t next = at + kChunkHeader + size;
    if (next > end) return;
    at = next + (size & 1);
    if (at != next && !ChunkAt(source, at, end) && ChunkAt(source, next, end)) at = next;
  }
}

}  // namespace

AviResult AviReader::Open(std::unique_ptr<ByteSource> source) {
  source_ = std::move(source);
  fileSize_ = source_->Size();
  uint8_t head[12];
  if (!Read(0, head, sizeof head) || Le32(head) != kRiff || Le32(head + 8) != kAvi) {
    return AviResult::NotAvi;
  }
  // A writer that never finished leaves the RIFF size at 0; a cut file claims more than is there.
  const uint32_t riffSize = Le32(head + 4);
  WalkRiff(12, riffSize < 4 ? fileSize_ : std::min<uint64_t>(8 + uint64_t(riffSize), fileSize_),
           true);
  // AVIX segments follow, each a RIFF form of its own; the walk takes the same care with pad
  // bytes as inside the forms.
  uint64_t at = 0;
  uint32_t size = riffSize;
  while (size >= 4) {
    const uint64_t next = at + 8 + size;
    at = next + (size & 1);
    if (at != next && !SegmentAt(at) && SegmentAt(next)) at = next;
    if (!SegmentAt(at) || !Read(at + 4, head, 4)) break;
    size = Le32(head);
    WalkRiff(at + 12, size < 4 ? fileSize_ : std::min<uint64_t>(at + 8 + size, fileSize_), false);
  }

  if (videoStream_ < 0) return AviResult::NoVideo;
  if (!IsMjpeg(compression_)) return AviResult::NotMjpeg;
  const int64_t width = haveFormat_ ? streamWidth_ : mainWidth_;
  // A negative height marks top-down rows for uncompressed video; JPEG frames say it themselves.
  const int64_t height = std::abs(int64_t(haveFormat_ ? streamHeight_ : mainHeight_));
  if (!PictureSizeFits(width, height)) return AviResult::BadSize;
  width_ = int(width);
  height_ = int(height);

  uint32_t rate = rate_;
  uint32_t scale = scale_;
  if (rate == 0 || scale == 0) {
    rate = 1000000;
    scale = mainMicroseconds_;
  }
  if (scale == 0) return AviResult::BadRate;

  if (!UseOpenDmlIndex() && !UseLegacyIndex()) {
    frames_.clear();
    for (const Range& movi : movi_) ScanMovi(movi, frames_);
    indexKind_ = AviIndexKind::Scan;
  }
  RepeatEmptyFrames();
  if (frames_.empty()) {
    indexKind_ = AviIndexKind::None;
    return AviResult::NoFrames;
  }
  if (!Timeline::Fits(rate, scale, frames_.size())) return AviResult::BadRate;
  timeline_ = Timeline(rate, scale, frames_.size());
  return AviResult::Ok;
}

void AviReader::WalkRiff(uint64_t begin, uint64_t end, bool first) {
  WalkChunks(*source_, begin, end, [&](uint64_t at, uint32_t id, uint32_t size) {
    const uint64_t dataEnd = std::min(at + kChunkHeader + size, end);
    if (id == kList) {
      uint8_t type[4];
      if (at + 12 > end || !Read(at + 8, type, 4)) return false;
      if (Le32(type) == kHdrl && first && streams_ == 0) {
        ReadHeaderList(at + 12, dataEnd);
      } else if (Le32(type) == kMovi) {
        // An unfinished segment leaves the movi size at 0: its frames run to the segment's end.
        const bool open = size < 4;
        movi_.push_back({at + 12, open ? end : dataEnd});
        if (first && moviListType_ == 0) moviListType_ = at + 8;
        if (open) return false;
      }
    } else if (id == kIdx1 && first && idx1Entries_ == 0) {
      idx1Offset_ = at + kChunkHeader;
      idx1Entries_ = (dataEnd - idx1Offset_) / 16;
    }
    return true;
  });
}

void AviReader::ReadHeaderList(uint64_t begin, uint64_t end) {
  WalkChunks(*source_, begin, end, [&](uint64_t at, uint32_t id, uint32_t size) {
    const uint64_t data = at + kChunkHeader;
    if (id == kAvih) {
      uint8_t h[40];
      if (size >= sizeof h && data + sizeof h <= end && Read(data, h, sizeof h)) {
        mainMicroseconds_ = Le32(h);
        mainWidth_ = int32_t(Le32(h + 32));
        mainHeight_ = int32_t(Le32(h + 36));
      }
    } else if (id == kList) {
      uint8_t type[4];
      if (data + 4 <= end && Read(data, type, 4) && Le32(type) == kStrl) {
        ReadStreamList(data + 4, std::min(data + size, end), streams_++);
      }
    }
    return true;
  });
}

void AviReader::ReadStreamList(uint64_t begin, uint64_t end, int stream) {
  uint32_t type = 0;
  uint32_t handler = 0;
  uint32_t rate = 0;
  uint32_t scale = 0;
  bool format = false;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t compression = 0;
  std::vector<SuperEntry> super;
  WalkChunks(*source_, begin, end, [&](uint64_t at, uint32_t id, uint32_t size) {
    const uint64_t data = at + kChunkHeader;
    if (id == kStrh) {
      uint8_t h[28];
      if (size >= sizeof h && data + sizeof h <= end && Read(data, h, sizeof h)) {
        type = Le32(h);
        handler = Le32(h + 4);
        scale = Le32(h + 20);
        rate = Le32(h + 24);
      }
    } else if (id == kStrf) {
      uint8_t f[20];
      if (size >= sizeof f && data + sizeof f <= end && Read(data, f, sizeof f)) {
        format = true;
        width = int32_t(Le32(f + 4));
        height = int32_t(Le32(f + 8));
        compression = Le32(f + 16);
      }
    } else if (id == kIndx) {
      uint8_t h[24];
      if (size < sizeof h || data + sizeof h > end || !Read(data, h, sizeof h)) return true;
      // Only an index of indexes with 16-byte entries.
      if (Le16(h) != 4 || h[2] != 0 || h[3] != 0) return true;
      const uint64_t room = (std::min<uint64_t>(data + size, end) - (data + sizeof h)) / 16;
      const size_t count = size_t(std::min<uint64_t>({Le32(h + 4), room, kMaxSuperEntries}));
      std::vector<uint8_t> entries(count * 16);
      if (!Read(data + sizeof h, entries.data(), entries.size())) return true;
      for (size_t i = 0; i < count; ++i) {
        super.push_back({Le64(&entries[i * 16]), Le32(&entries[i * 16 + 8])});
      }
    }
    return true;
  });
  if (type != kVids || videoStream_ >= 0) return;
  videoStream_ = stream;
  handler_ = handler;
  rate_ = rate;
  scale_ = scale;
  haveFormat_ = format;
  streamWidth_ = width;
  streamHeight_ = height;
  compression_ = format ? compression : handler;
  superIndex_ = std::move(super);
}

bool AviReader::SegmentAt(uint64_t offset) {
  uint8_t h[12];
  return offset + sizeof h <= fileSize_ && Read(offset, h, sizeof h) && Le32(h) == kRiff &&
         Le32(h + 8) == kAvix;
}

bool AviReader::IsVideoChunk(uint32_t id) const {
  if (videoStream_ < 0 || videoStream_ > 99) return false;
  const char tens = char('0' + videoStream_ / 10);
  const char ones = char('0' + videoStream_ % 10);
  const char c2 = char((id >> 16) & 0xFF);
  const char c3 = char(id >> 24);
  return char(id & 0xFF) == tens && char((id >> 8) & 0xFF) == ones && c2 == 'd' &&
         (c3 == 'b' || c3 == 'c');
}

bool AviReader::Inside(uint64_t offset, uint64_t size) const {
  return offset <= fileSize_ && size <= fileSize_ - offset;
}

bool AviReader::UseOpenDmlIndex() {
  if (superIndex_.empty()) return false;
  std::vector<AviFrame> frames;
  std::vector<uint8_t> block;
  for (const SuperEntry& entry : superIndex_) {
    // "ix00", its size, then the 24-byte header of an index of chunks.
    uint8_t h[32];
    if (!Inside(entry.offset, sizeof h) || !Read(entry.offset, h, sizeof h)) return false;
    const uint32_t chunkSize = Le32(h + 4);
    if (Le16(h + 8) != 2 || h[10] != 0 || h[11] != 1 || !IsVideoChunk(Le32(h + 16))) return false;
    const uint64_t base = Le64(h + 20);
    if (base > fileSize_) return false;
    const uint64_t first = entry.offset + sizeof h;
    const uint64_t bytes = std::min<uint64_t>(chunkSize, fileSize_ - entry.offset - 8);
    const uint64_t room = bytes > 24 ? (bytes - 24) / 8 : 0;
    const uint64_t count = std::min<uint64_t>(Le32(h + 12), room);
    // Every frame takes a chunk header in the file; more entries than that repeat themselves.
    if (frames.size() + count > fileSize_ / kChunkHeader) return false;
    for (uint64_t done = 0; done < count;) {
      const size_t n = size_t(std::min<uint64_t>(count - done, kIndexBlock / 8));
      block.resize(n * 8);
      if (!Read(first + done * 8, block.data(), block.size())) return false;
      for (size_t i = 0; i < n; ++i) {
        const uint64_t offset = base + Le32(&block[i * 8]);
        // Bit 31 marks a frame that is not a key frame; every JPEG frame stands alone.
        const uint32_t size = Le32(&block[i * 8 + 4]) & 0x7FFFFFFFu;
        if (size != 0 && !Inside(offset, size)) return false;
        frames.push_back({offset, size});
      }
      done += n;
    }
  }
  if (frames.empty()) return false;
  frames_ = std::move(frames);
  indexKind_ = AviIndexKind::OpenDml;
  return true;
}

bool AviReader::UseLegacyIndex() {
  if (idx1Entries_ == 0 || moviListType_ == 0) return false;
  std::vector<AviFrame> frames;
  std::vector<uint8_t> block;
  // Offsets count from the "movi" list type; some writers give file positions instead. The
  // first video entry decides, by finding its own chunk id where it points.
  uint64_t base = 0;
  bool baseKnown = false;
  for (uint64_t done = 0; done < idx1Entries_;) {
    const size_t n = size_t(std::min<uint64_t>(idx1Entries_ - done, kIndexBlock / 16));
    block.resize(n * 16);
    if (!Read(idx1Offset_ + done * 16, block.data(), block.size())) return false;
    for (size_t i = 0; i < n; ++i) {
      const uint8_t* e = &block[i * 16];
      const uint32_t id = Le32(e);
      if (!IsVideoChunk(id)) continue;
      const uint64_t offset = Le32(e + 8);
      const uint32_t size = Le32(e + 12);
      if (!baseKnown) {
        uint8_t found[4];
        for (uint64_t candidate : {moviListType_, uint64_t{0}}) {
          if (Read(candidate + offset, found, 4) && Le32(found) == id) {
            base = candidate;
            baseKnown = true;
            break;
          }
        }
        if (!baseKnown) return false;
      }
      const uint64_t data = base + offset + kChunkHeader;
      if (size != 0 && !Inside(data, size)) return false;
      frames.push_back({data, size});
    }
    done += n;
  }
  if (frames.empty()) return false;
  // idx1 covers the first segment only; later ones are scanned.
  for (size_t i = 1; i < movi_.size(); ++i) ScanMovi(movi_[i], frames);
  frames_ = std::move(frames);
  indexKind_ = AviIndexKind::Legacy;
  return true;
}

void AviReader::ScanMovi(const Range& movi, std::vector<AviFrame>& out) {
  // Frames may sit in "rec " lists one level down.
  auto scan = [&](auto& self, uint64_t begin, uint64_t end, int depth) -> void {
    WalkChunks(*source_, begin, end, [&](uint64_t at, uint32_t id, uint32_t size) {
      if (!Printable(id)) return false;
      const uint64_t data = at + kChunkHeader;
      if (id == kList) {
        uint8_t type[4];
        if (depth == 0 && data + 4 <= end && Read(data, type, 4) && Le32(type) == kRec) {
          self(self, data + 4, std::min(data + size, end), depth + 1);
        }
      } else if (IsVideoChunk(id)) {
        if (data + size > end) return false;
        out.push_back({data, size});
      }
      return true;
    });
  };
  scan(scan, movi.begin, movi.end, 0);
}

void AviReader::RepeatEmptyFrames() {
  // An empty video chunk repeats the frame before it; empty ones at the start show the first.
  const auto firstFull =
      std::find_if(frames_.begin(), frames_.end(), [](const AviFrame& f) { return f.size != 0; });
  if (firstFull == frames_.end()) {
    frames_.clear();
    return;
  }
  AviFrame last = *firstFull;
  for (AviFrame& frame : frames_) {
    if (frame.size == 0) {
      frame = last;
    } else {
      last = frame;
    }
  }
}

bool AviReader::ReadFrame(size_t i, std::vector<uint8_t>& data) {
  if (i >= frames_.size() || frames_[i].size > kMaxFrameBytes) return false;
  data.resize(frames_[i].size);
  return Read(frames_[i].offset, data.data(), data.size());
}

}  // namespace playback
