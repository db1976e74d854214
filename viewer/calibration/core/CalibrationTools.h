// The state behind the Calibration page's tools that more than one thread sees: the frame CSV
// run, started on the GUI thread and written by the display thread, and the page's defect pixel
// table, which the live overlay draws.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "viewer/calibration/core/DefectPixels.h"
#include "viewer/calibration/core/FrameCsv.h"

namespace calibration {

// One CSV run at a time. Every run has a number, so that a step reported after the run was
// aborted, or after a newer run started, is known to be stale when it reaches the GUI thread.
class CsvRun {
 public:
  struct Report {
    int run = 0;
    CsvExport::Step step;
  };

  // GUI thread. The operator chose basePath: starts a run of `frames` files, or, while one is
  // running, gives it the new path. Returns the run's number.
  int Start(std::string basePath, int frames);
  // GUI thread. Ends a running run at once; files written so far stay. False when none ran.
  bool Abort();
  // Any thread.
  bool Active() const;
  // Whether a report belongs to the latest run (the running one or the one that ended last).
  bool Current(int run) const;

  // Display thread, once per fetched and checked frame: writes the next file of an active run.
  // Nothing while no run is active.
  std::optional<Report> Step(const uint8_t* frame, uint32_t length, int cisType,
                             bool showBoundaryPixels, bool rawView);

 private:
  // Held while a file is written, so an abort never meets a half-done step.
  mutable std::mutex mutex_;
  std::unique_ptr<CsvExport> export_ = std::make_unique<CsvExport>();
  int run_ = 0;
};

// The defect pixel group's working table and what its buttons do with it. The buttons run on
// the GUI thread; the live overlay takes snapshots of the table from the display thread.
class DefectTool {
 public:
  struct Outcome {
    std::vector<std::string> messages;  // boxes to show, in order
    std::optional<std::string> list;    // the list's new text, when it changed
  };

  // A cleared table and its empty list for `type`.
  std::string Reset(int type);
  // "Start": scans a frame fetched after the call from a head of cisType; on success the table
  // holds the defects found and the list shows them with their levels.
  Outcome Detect(const DefectScan& scan, int cisType,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(5000));
  // "Upload", "Download", "Save" (to the head EEPROM) and "Clear" on the unit's table of `type`.
  Outcome Upload(int type) const;
  Outcome Download(int type);
  Outcome Save(int type) const;
  Outcome Clear(int type);

  const DefectTable& Table() const { return table_; }
  // Any thread: the table as the buttons left it last.
  DefectTable Snapshot() const;

 private:
  void Publish();

  DefectTable table_ = ClearedDefectTable();
  std::vector<uint8_t> frame_;
  mutable std::mutex snapshotMutex_;
  DefectTable snapshot_ = ClearedDefectTable();
};

}  // namespace calibration
