// The CSV run hand-off and the defect pixel group's working table.
#include "viewer/calibration/core/CalibrationTools.h"

#include <utility>

#include "viewer/live/core/image/Render.h"

namespace calibration {

int CsvRun::Start(std::string basePath, int frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!export_->Active()) ++run_;
  export_->Start(std::move(basePath), frames);
  return run_;
}

bool CsvRun::Abort() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!export_->Active()) return false;
  // The export has no way back to idle but its end; a fresh one is idle.
  export_ = std::make_unique<CsvExport>();
  ++run_;
  return true;
}

bool CsvRun::Active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return export_->Active();
}

bool CsvRun::Current(int run) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return run == run_;
}

std::optional<CsvRun::Report> CsvRun::Step(const uint8_t* frame, uint32_t length, int cisType,
                                           bool showBoundaryPixels, bool rawView) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!export_->Active()) return std::nullopt;
  return Report{run_, export_->Next(frame, length, cisType, showBoundaryPixels, rawView)};
}

std::string DefectTool::Reset(int type) {
  table_ = ClearedDefectTable();
  Publish();
  return DefectListText(type, table_, nullptr);
}

DefectTool::Outcome DefectTool::Detect(const DefectScan& scan, int cisType,
                                       std::chrono::milliseconds limit) {
  const auto size = static_cast<uint32_t>(live::FrameBytes(cisType));
  uint32_t length = 0;
  if (!FetchFreshFrame(frame_, size, length, limit)) return {{"capture error"}, std::nullopt};
  if (live::CheckFrame(frame_.data(), length, cisType) != 0) {
    return {{"capture data error"}, std::nullopt};
  }
  const DefectResult result = DetectDefects(frame_.data(), live::Geometry(cisType), scan);
  table_ = EncodeDefectTable(result);
  Publish();
  return {{}, DefectListText(scan.type, table_, &result)};
}

DefectTool::Outcome DefectTool::Upload(int type) const {
  return {{UploadDefectTable(type, table_)}, std::nullopt};
}

DefectTool::Outcome DefectTool::Download(int type) {
  std::string message = DownloadDefectTable(type, table_);
  Publish();
  return {{std::move(message)}, DefectListText(type, table_, nullptr)};
}

DefectTool::Outcome DefectTool::Save(int type) const {
  return {SaveDefectTableToHead(type), std::nullopt};
}

DefectTool::Outcome DefectTool::Clear(int type) {
  std::string message = ClearDefectTable(type, table_);
  Publish();
  return {{std::move(message)}, DefectListText(type, table_, nullptr)};
}

DefectTable DefectTool::Snapshot() const {
  std::lock_guard<std::mutex> lock(snapshotMutex_);
  return snapshot_;
}

void DefectTool::Publish() {
  std::lock_guard<std::mutex> lock(snapshotMutex_);
  snapshot_ = table_;
}

}  // namespace calibration
