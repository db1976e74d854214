// Media files for playback: the AVI frames through the JPEG decoder, the BMP still directly.
#include "viewer/playback/core/MediaFile.h"

#include <atomic>
#include <vector>

#include "viewer/playback/core/AviReader.h"
#include "viewer/playback/core/BmpReader.h"
#include "viewer/playback/core/JpegDecoder.h"

namespace playback {
namespace {

std::atomic<int> openFiles{0};

class AviFile : public MediaFile {
 public:
  explicit AviFile(std::unique_ptr<AviReader> reader)
      : MediaFile(reader->Width(), reader->Height(), false, reader->Clock()),
        reader_(std::move(reader)) {}

  bool Decode(uint64_t i, uint8_t* pixels, size_t stride) override {
    return reader_->ReadFrame(size_t(i), data_) &&
           jpeg_.Decode(data_.data(), data_.size(), Width(), Height(), pixels, stride);
  }

 private:
  std::unique_ptr<AviReader> reader_;
  std::vector<uint8_t> data_;  // the frame's bytes; grows to the largest frame, then stays
  JpegDecoder jpeg_;
};

class BmpFile : public MediaFile {
 public:
  BmpFile(std::unique_ptr<ByteSource> source, const BmpInfo& info)
      : MediaFile(info.width, info.height, true, Timeline()),
        source_(std::move(source)),
        info_(info) {}

  bool Decode(uint64_t i, uint8_t* pixels, size_t stride) override {
    if (i != 0) return false;
    std::vector<uint8_t> row(info_.rowBytes);
    return ReadBmpPixels(*source_, info_, pixels, stride, row.data());
  }

 private:
  std::unique_ptr<ByteSource> source_;
  BmpInfo info_;
};

}  // namespace

MediaFile::MediaFile(int width, int height, bool still, Timeline timeline)
    : width_(width), height_(height), still_(still), timeline_(timeline) {
  ++openFiles;
}

MediaFile::~MediaFile() {
  --openFiles;
}

int MediaFile::OpenCount() {
  return openFiles.load();
}

std::unique_ptr<MediaFile> MediaFile::Open(const std::string& path) {
  std::unique_ptr<FileSource> file = FileSource::Open(path);
  if (!file) return nullptr;
  return Open(std::move(file));
}

std::unique_ptr<MediaFile> MediaFile::Open(std::unique_ptr<ByteSource> source) {
  uint8_t magic[2];
  if (!source || !source->Read(0, magic, sizeof magic)) return nullptr;
  if (magic[0] == 'B' && magic[1] == 'M') {
    BmpInfo info;
    if (ReadBmpInfo(*source, info) != BmpResult::Ok) return nullptr;
    return std::make_unique<BmpFile>(std::move(source), info);
  }
  auto reader = std::make_unique<AviReader>();
  if (reader->Open(std::move(source)) != AviResult::Ok) return nullptr;
  return std::make_unique<AviFile>(std::move(reader));
}

}  // namespace playback
