// One recording on disk: open sequence, frames, measured rate and close.
#include "viewer/capture/core/VideoFile.h"

namespace capture {

std::optional<uint32_t> MeasuredRate(int frames, int64_t elapsedMs) {
  if (frames <= 0 || elapsedMs <= 0) return std::nullopt;
  const uint64_t rate = uint64_t(frames) * 1000 * kMeasuredScale / uint64_t(elapsedMs);
  if (rate == 0 || rate > UINT32_MAX) return std::nullopt;
  return uint32_t(rate);
}

void ArrivalRate::Frame(int64_t ms) {
  const int64_t waited = ms - lastMs_;
  lastMs_ = ms;
  if (waited < 0 || waited > kFrameGapMs) return;
  ++frames_;
  elapsedMs_ += waited;
}

int VideoFile::Open(const std::string& path, int side, int64_t startMs, SegmentLimits limits) {
  side_ = side;
  frames_ = 0;
  encodedLength_ = 0;
  arrival_ = ArrivalRate(startMs);
  writtenRate_.reset();
  const int opened = writer_.Open(path, limits);
  if (opened != AviWriter::kOk) return opened;
  int result = writer_.SetFrameSize(uint32_t(side), uint32_t(side));
  if (result == AviWriter::kOk) result = writer_.SetFrameRate(kNominalRate, kNominalScale);
  if (result != AviWriter::kOk) writer_.Close();
  return result;
}

bool VideoFile::Encode(const uint8_t* bitmap, int64_t timeMs) {
  encodedLength_ = encoder_.Encode(bitmap, side_);
  encodedMs_ = timeMs;
  return encodedLength_ != 0;
}

int VideoFile::Append() {
  if (encodedLength_ == 0) return AviWriter::kWriteFailed;
  const int result = writer_.AddFrame(uint32_t(encodedLength_), encoder_.Data());
  encodedLength_ = 0;
  if (result == AviWriter::kOk) {
    ++frames_;
    arrival_.Frame(encodedMs_);
  }
  return result;
}

int VideoFile::Close() {
  if (!writer_.IsOpen()) return AviWriter::kNotOpen;
  bool ok = true;
  if (const auto rate = arrival_.Rate()) {
    ok = writer_.SetFrameRate(*rate, kMeasuredScale) == AviWriter::kOk;
    writtenRate_ = rate;
  }
  ok = writer_.Close() == AviWriter::kOk && ok;
  return ok ? AviWriter::kOk : AviWriter::kWriteFailed;
}

}  // namespace capture
