// Frame CSV export: the 10-bit levels of a raw frame as text, the file names of a run, and the
// run itself as the display thread drives it, one file per frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "viewer/live/core/image/Render.h"

namespace calibration {

constexpr const char* kCsvCompleteText = " CSV File Save Complete!";
constexpr const char* kCsvErrorText = "CSV File Save Error!";

// The level of pixel `index` of a raw frame (the live kernels' RawLevel).
using live::RawLevel;

// The exported area of a whole raw frame of geometry g: rows and columns a .. n - a - 1, with
// a = 0 while boundary pixels are shown and a = b otherwise. One line per row, top row first,
// levels in "%d" joined by "," and each line ended with CR LF. `out` is reused from call to call.
void FormatFrameCsv(const uint8_t* frame, live::FrameGeometry g, bool showBoundaryPixels,
                    std::string& out);

// File `counter` of a run: the chosen path without a final ".csv" (in any letter case), then
// "_%03d" and ".csv". A path without that ending is kept whole.
std::string CsvFileName(std::string_view basePath, int counter);

// One CSV run: started on the GUI thread, driven by the display thread.
class CsvExport {
 public:
  struct Step {
    int progress = 0;       // the progress label's number, 101 - R before the step
    bool finished = false;  // the run ended with this frame
    bool failed = false;    // ... because a file could not be written
    int error = 0;          // why, as an errno value, when the file system refused it
  };

  // GUI thread: the operator chose `basePath`. Starts a run of `frames` files (held to the
  // "num of frames" limits) unless one is running, which only takes the new path.
  void Start(std::string basePath, int frames);
  bool Active() const { return active_.load(); }

  // Display thread, once per fetched frame while Active(): writes the next file and counts down.
  Step Next(const uint8_t* frame, uint32_t length, int cisType, bool showBoundaryPixels,
            bool rawView);

  // One file of the run: -1 without writing when the unit does not send raw data or the frame is
  // too short for its geometry; `first` restarts the file counter at 1. -1 as well when the file
  // cannot be created or written; 0 once it is complete.
  int WriteFrameCsv(const uint8_t* frame, uint32_t length, int cisType, bool showBoundaryPixels,
                    bool rawView, bool first);

  // The path of the file written last (or being written).
  std::string CurrentPath() const;

 private:
  mutable std::mutex mutex_;
  std::string basePath_;
  std::string currentPath_;
  int frames_ = 0;
  int remaining_ = 0;
  std::atomic<bool> active_{false};
  // Display thread only.
  int counter_ = 1;
  int lastError_ = 0;
  std::string text_;
};

}  // namespace calibration
